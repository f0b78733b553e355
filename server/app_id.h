#pragma once

namespace lumbo {

// The server's AppID in registry form, the value of the scripts' "APPID".
inline constexpr wchar_t kAppIdText[] = L"{F9BF3A22-B2EB-45A1-AEAC-30C260A73A27}";

}  // namespace lumbo
