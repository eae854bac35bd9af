#pragma once
// The SDK's version text, as requests and debug output report it.
inline constexpr const char* kPloverSDKVersion = "2.2.1";
// The prefix of the SDK's notification names.
inline constexpr const char* kPloverNotificationPrefix = "com.plover.sdk";
