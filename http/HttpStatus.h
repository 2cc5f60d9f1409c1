// The status codes the client acts on, and which of them it accepts as the resource's body.
#pragma once

#include <windows.h>

constexpr DWORD kHttpStatusOk = 200;
constexpr DWORD kHttpStatusPartialContent = 206;
constexpr DWORD kHttpStatusUnauthorized = 401;
constexpr DWORD kHttpStatusProxyAuthRequired = 407;

// 200 to 206, a 206 alike: the answer carries (a part of) the resource.
constexpr bool HttpStatusAccepted(DWORD status) {
    return status >= kHttpStatusOk && status <= kHttpStatusPartialContent;
}
