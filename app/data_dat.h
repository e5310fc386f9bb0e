// CDataDat: the user's settings (handle name, colour, host, display-limit index) and
// the settings file data.dat in the current directory. Standard C++ only. The
// application object derives from it and lends it to the window, whose dialogs show
// and change it.
//
// data.dat, as written (CP932 bytes, no quoting, no version):
//   file  = colour LF name LF index        ; "%s\n%s\n%d", no LF after the index
//   index = signed decimal
// As read, a "line" is at most 1023 bytes: a longer line is read in parts, and each
// further part counts as the next line. CR LF ends a line as LF does. Line 3 is read
// like atoi: leading white space, an optional sign, the digits up to the first other
// byte; no digits give 0. A line missing at the end of the file yields that value's
// default: colour "red", name empty, index 1. An index outside 0 to 3 is kept as read:
// the page writer clamps it when it looks up its limit, and the log-limit menu marks
// none of its four choices until the user picks one.
#pragma once

#include <string>

namespace murelo {

inline constexpr char kSettingsFileName[] = "data.dat";

class CDataDat {
 public:
  /// Reads data.dat into colour, name and index (see the format above). Without a
  /// readable file: index 1, colour "red", name unchanged. Shows nothing.
  void LoadSettings();

  /// Replaces data.dat with colour, name and index; false when it could not, and the
  /// file is then as it was. A symbolic link or anything else that is not a regular
  /// file at that name is left alone, and never read either.
  bool SaveSettings() const;

  /// Ends text at its first line feed, if it has one; reads nothing past its end.
  static void CutAtLineFeed(char* text);

  std::string m_strName;     // handle name, CP932
  std::string m_strColor;    // HTML colour value as text, CP932; never checked for form
  std::string m_strHost;     // host of the last confirmed connect dialog; not saved
  int m_nLogLimitIndex = 0;  // 0 to 3 select 20, 50, 100, 200 entries; any value once read
};

}  // namespace murelo
