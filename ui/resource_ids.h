// Identifiers of the dialogs' controls and results.
#pragma once

namespace murelo {

// Results of DoModal.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Controls. Each identifier is the control's Qt object name, given where the control
// is made and used by whatever looks it up with findChild (the tests among them), so a
// misspelt identifier fails to compile rather than find nothing. The numbers are the
// identifiers' values in the program's resources.
inline constexpr char IDC_INPUT_EDIT[] = "IDC_INPUT_EDIT";  // 1000
inline constexpr char IDC_SEND[] = "IDC_SEND";              // 1001
inline constexpr char IDC_HOST[] = "IDC_HOST";              // 1003
inline constexpr char IDC_HOST_LIST[] = "IDC_HOST_LIST";    // the box around IDC_HOST
inline constexpr char IDC_NAME[] = "IDC_NAME";              // 1004
inline constexpr char IDC_BE_SERVER[] = "IDC_BE_SERVER";    // 1005
inline constexpr char IDC_HOST_LABEL[] = "IDC_HOST_LABEL";  // 1006
inline constexpr char IDC_CONNECT_OK[] = "IDC_CONNECT_OK";  // 1009
inline constexpr char IDC_COLOR[] = "IDC_COLOR";            // 1010
// The object names of the buttons that end a dialog with IDOK or IDCANCEL.
inline constexpr char IDOK_BUTTON[] = "IDOK";
inline constexpr char IDCANCEL_BUTTON[] = "IDCANCEL";

}  // namespace murelo
