// Identifiers of the dialog templates, their controls and the dialog results. Each
// control's Qt object name is its identifier's name ("IDC_NAME"), so the code that
// drives a dialog, and the tests, find a control with findChild.
#pragma once

namespace murelo {

// Results of DoModal.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_INPUT_BAR = 103;
inline constexpr int IDD_CONNECT = 130;
inline constexpr int IDD_NAME_COLOR = 131;

// Controls.
inline constexpr int IDC_INPUT_EDIT = 1000;
inline constexpr int IDC_SEND = 1001;
inline constexpr int IDC_HOST = 1003;
inline constexpr int IDC_NAME = 1004;
inline constexpr int IDC_BE_SERVER = 1005;
inline constexpr int IDC_HOST_LABEL = 1006;
inline constexpr int IDC_CONNECT_OK = 1009;
inline constexpr int IDC_COLOR = 1010;

}  // namespace murelo
