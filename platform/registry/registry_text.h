// The registry export format, as regedit writes it and as people write it by hand:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Vr\Quillbrook]
//   "ProxyServer"="proxy.example"
//   "ProxyPort"=dword:00001f90
//   "Blob"=hex:01,02,ff
//   @="the default value"
//
// Texts escape "\" and the quotation mark with a backslash; other types are hex(N):..;
// long hex lines may continue on the next line after a trailing "\". The file is UTF-8
// (UTF-16 with its byte-order mark, as regedit exports, is read too).
#pragma once

#include <string>

#include "platform/registry/registry_document.h"

namespace qb::registry {

inline constexpr const char* kRegistryHeader = "Windows Registry Editor Version 5.00";

// Reads every line that makes sense into the document; returns the number of lines that
// did not (they are skipped; reading goes on after them).
size_t ParseRegistryText(const std::string& bytes, RegistryDocument* document);

std::string FormatRegistryText(const RegistryDocument& document);

} // namespace qb::registry
