// The one markup reader under any text, through everything that reads peers' HTML with
// it: the check of self-contained markup, the inline form the page view draws, the
// plain text of the room's output and of notifications, and the browser-equivalent
// rewrite. Input: byte 0 even, the rest is UTF-8; odd, UTF-16 code units (lone
// surrogates and all).
//
// Checks, for every input:
// - the inline form is markup the check takes, and its own inline form;
// - Qt parses it into one block with no table, list or frame, no element opened more
//   than 32 deep;
// - the plain text holds no control character, line or paragraph separator or direction
//   override;
// - all four take time linear in the input: 64 KiB in under 50 ms, with room for the
//   sanitizers' cost, judged from 16 KiB up.
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <chrono>
#include <vector>

#include "fuzz_check.h"
#include "platform/markup_reader.h"
#include "platform/page_view/browser_equivalent.h"
#include "platform/page_view/inline_markup.h"
#include "platform/page_view/markup_check.h"
#include "platform/plain_text.h"

namespace murelo {
namespace {

constexpr double kSanitizerSlack = 10;  // ASan and UBSan slow this code down some 3 to 6 times

/// How deep elements nest in markup, closed as Qt closes them: an end tag closes the
/// nearest open element of its name and everything inside it.
size_t Depth(QStringView markup) {
  std::vector<QString> open;
  size_t deepest = 0;
  CMarkupReader reader(markup);
  for (CMarkupToken token; reader.Next(token);) {
    if (token.kind == CMarkupToken::Kind::kStartTag && !FindElement(token.strName).bEmpty) {
      open.push_back(token.strName);
      deepest = std::max(deepest, open.size());
    } else if (token.kind == CMarkupToken::Kind::kEndTag) {
      const auto it = std::find(open.rbegin(), open.rend(), token.strName);
      if (it != open.rend()) open.erase(std::prev(it.base()), open.end());
    }
  }
  return deepest;
}

bool IsShownAsOneLine(QChar c) {
  const char16_t code = c.unicode();
  return code >= 0x20 && !(code >= 0x7f && code <= 0x9f) && !(code >= 0x2028 && code <= 0x202e) &&
         !(code >= 0x2066 && code <= 0x2069);
}

}  // namespace
}  // namespace murelo

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QGuiApplication(*argc, *argv);  // the document's fonts; lives as long as the process
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo;
  if (size == 0) return 0;
  const auto* text = reinterpret_cast<const char*>(data + 1);
  const QString html = data[0] % 2 == 0 ? QString::fromUtf8(text, static_cast<qsizetype>(size - 1))
                                        : QString(reinterpret_cast<const QChar*>(text),
                                                  static_cast<qsizetype>((size - 1) / 2));

  const auto start = std::chrono::steady_clock::now();
  const QString inlineForm = ToInlineMarkup(html);
  const QString plain = PlainTextOfHtml(html);
  ToBrowserEquivalent(html);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  // Judged on long inputs only, where a cost beyond linear shows above the noise of a
  // busy machine: 64 KiB would take seconds, not milliseconds.
  FUZZ_CHECK(size < 16384 || ms < 50.0 * static_cast<double>(size) / 65536 * kSanitizerSlack);

  FUZZ_CHECK(IsSelfContainedMarkup(inlineForm));
  FUZZ_CHECK(ToInlineMarkup(inlineForm) == inlineForm);
  FUZZ_CHECK(Depth(inlineForm) <= kMaxInlineDepth);
  FUZZ_CHECK(std::ranges::all_of(plain, IsShownAsOneLine));

  QTextDocument document;
  document.setHtml(inlineForm);
  FUZZ_CHECK(document.blockCount() == 1 && document.rootFrame()->childFrames().isEmpty() &&
             document.firstBlock().textList() == nullptr);
  return 0;
}
