// What the Windows code of platform/ shares: the program's strings are bytes in
// UTF-8 and Windows takes wide characters, so every name and value is converted
// at the edge; and the Windows form of a file mode 0600 or directory mode 0700.
#pragma once

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// UTF-8 to wide characters (an invalid byte becomes U+FFFD).
inline std::wstring widen(std::string_view text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

/// Wide characters to UTF-8.
inline std::string narrow(std::wstring_view wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                      nullptr, nullptr);
  return text;
}

/// The SID of the process token's user (TokenUser) or default owner of new
/// objects (TokenOwner), as bytes whose data() is the SID; empty on failure.
inline std::vector<unsigned char> tokenSid(TOKEN_INFORMATION_CLASS which) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, which, nullptr, 0, &size);
  std::vector<unsigned char> block(size ? size : 1);
  bool ok = GetTokenInformation(token, which, block.data(), size, &size);
  CloseHandle(token);
  // Both blocks start with the SID's pointer; the SID itself lies within the block.
  PSID sid = ok ? *reinterpret_cast<PSID*>(block.data()) : nullptr;
  if (sid == nullptr || !IsValidSid(sid)) return {};
  auto* bytes = static_cast<unsigned char*>(sid);
  return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

/// A security descriptor owned by the current user whose protected DACL lets
/// only that user in: the Windows form of mode 0600, or of 0700 for a directory
/// when inherited (its new files and folders get the same). Freed with LocalFree; null on failure.
inline PSECURITY_DESCRIPTOR ownerOnlySecurity(bool inherited) {
  std::vector<unsigned char> user = tokenSid(TokenUser);
  wchar_t* sid = nullptr;
  if (user.empty() || !ConvertSidToStringSidW(user.data(), &sid)) {
    return nullptr;
  }
  std::wstring sddl =
      std::wstring(L"O:") + sid + L"D:P(A;" + (inherited ? L"OICI" : L"") + L";FA;;;" + sid + L")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd,
                                                            nullptr)) {
    return nullptr;
  }
  return sd;
}

/// Whether the object's owner is the current user, or the owner the user's
/// token gives new objects (the Administrators group for an elevated
/// administrator). handle must be open with READ_CONTROL.
inline bool ownedByCurrentUser(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<unsigned char> user = tokenSid(TokenUser), owners = tokenSid(TokenOwner);
  bool own = (!user.empty() && EqualSid(owner, user.data())) ||
             (!owners.empty() && EqualSid(owner, owners.data()));
  LocalFree(sd);
  return own;
}

}  // namespace platform
