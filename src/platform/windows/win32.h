// What the Windows code of platform/ shares: the program's strings are bytes,
// UTF-8 where they are text, and Windows takes wide characters, so every name
// and value is converted at the edge, losing no byte; and the Windows form of a
// file mode 0600 or directory mode 0700. The tool includes it too, so both
// programs convert alike.
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

/// Bytes to wide characters, losing none: UTF-8 becomes its characters, and
/// a byte that is not part of valid UTF-8 (say a user name typed in the
/// console's code page) the lone surrogate U+DC00 + byte, which narrow turns
/// back into the byte.
inline std::wstring widen(std::string_view text) {
  // The least code point of a sequence of each length: shorter forms are no UTF-8.
  static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  std::wstring wide;
  wide.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80   ? 1
                    : lead < 0xC2 ? 0
                    : lead < 0xE0 ? 2
                    : lead < 0xF0 ? 3
                    : lead < 0xF5 ? 4
                                  : 0;
    char32_t code = length <= 1 ? lead : lead & (0x7F >> length);
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    valid = valid && code >= Least[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      wide.push_back(static_cast<wchar_t>(0xDC00 + lead));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      wide.push_back(static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10)));
      code = 0xDC00 + ((code - 0x10000) & 0x3FF);
    }
    wide.push_back(static_cast<wchar_t>(code));
    i += length;
  }
  return wide;
}

/// Wide characters to bytes: UTF-8, and each lone surrogate U+DC80..U+DCFF
/// as the byte widen made it of; any other lone surrogate becomes U+FFFD.
inline std::string narrow(std::wstring_view wide) {
  std::string text;
  text.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t code = wide[i];
    const bool pair = code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() &&
                      wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
    if (pair) {
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (code >= 0xDC80 && code <= 0xDCFF) {
      text.push_back(static_cast<char>(code - 0xDC00));
      continue;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      text.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      text.push_back(static_cast<char>(0xC0 | code >> 6));
      text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      text.push_back(static_cast<char>(0xE0 | code >> 12));
      text.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xF0 | code >> 18));
      text.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
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
