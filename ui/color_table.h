// The colour table of the connect and name-and-colour dialogs: the six items of their
// colour boxes, in list order, and the HTML colour value each stands for. A pick is
// looked up here by its list position, so the list is never sorted.
#pragma once

#include <array>
#include <string_view>

namespace murelo {

struct ColorTableEntry {
  std::string_view strItem;   // shown in the list, CP932
  std::string_view strValue;  // stored as the colour
};

inline constexpr std::array<ColorTableEntry, 6> kColorTable = {{
    // 黒
    {"\215\225", "black"},
    // 赤
    {"\220\324", "red"},
    // 青
    {"\220\302", "blue"},
    // 緑
    {"\227\316", "green"},
    // 水色
    {"\220\205\220F", "#00ffff"},
    // 黄色
    {"\211\251\220F", "#ffff00"},
}};

}  // namespace murelo
