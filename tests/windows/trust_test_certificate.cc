// trust_test_certificate.exe CERT.pem: adds the certificate to the current
// user's Root store, so the tool under test trusts a test server. Test use only.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream pem;
  pem << in.rdbuf();
  std::string text = pem.str();
  BYTE der[8192];
  DWORD size = sizeof der;
  if (!CryptStringToBinaryA(text.c_str(), 0, CRYPT_STRING_BASE64HEADER, der, &size, nullptr,
                            nullptr)) {
    std::fprintf(stderr, "no certificate in %s\n", argv[1]);
    return 1;
  }
  HCERTSTORE root = CertOpenSystemStoreA(0, "ROOT");
  bool ok = root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, size,
                                                     CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (root) CertCloseStore(root, 0);
  if (!ok) std::fprintf(stderr, "cannot add the certificate: 0x%08lx\n", GetLastError());
  return ok ? 0 : 1;
}
