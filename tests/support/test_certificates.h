// A test certificate authority and server certificates, made at test time with the openssl
// command in a private temporary folder. A test trusts the authority through SSL_CERT_FILE
// in its own environment only (caFile()); nothing is installed anywhere.
//
// Every server certificate is issued by the authority (except untrusted, which is signed by
// an authority nobody trusts) and carries the names given below (except commonNameOnly).
#pragma once

#include <string>

#include "tests/support/temp_dir.h"

namespace qb::test {

struct CertificateFiles {
    std::string certificate; // PEM
    std::string key;         // PEM, unencrypted
};

class TestCertificates {
public:
    // Names that only a test proxy resolves (SquidServer's hosts file), so a server is
    // reached by them through the proxy alone; the second is the ASCII form of 例え.テスト.invalid.
    static constexpr const char* kProxyOnlyName = "only-squid.invalid";
    static constexpr const char* kProxyOnlyIdnName = "xn--r8jz45g.xn--zckzah.invalid";
    // The names of the good certificates: what a test server on loopback is reached by.
    static constexpr const char* kLoopbackNames =
        "DNS:localhost,DNS:only-squid.invalid,DNS:xn--r8jz45g.xn--zckzah.invalid,"
        "IP:127.0.0.1,IP:::1";
    static constexpr const char* kOtherName = "other.invalid";

    // Makes everything; false (with error()) when the openssl command failed.
    bool make();
    bool made() const { return made_; }
    const std::string& error() const { return error_; }

    const std::string& caFile() const { return caFile_; }                // for SSL_CERT_FILE
    const CertificateFiles& loopback() const { return loopback_; }       // valid now
    const CertificateFiles& otherName() const { return otherName_; }     // kOtherName only
    const CertificateFiles& expired() const { return expired_; }         // ended in 2001
    const CertificateFiles& notYetValid() const { return notYetValid_; } // starts in 2099
    const CertificateFiles& untrusted() const { return untrusted_; }     // unknown issuer
    // CN=localhost and no subjectAltName: names no host at all.
    const CertificateFiles& commonNameOnly() const { return commonNameOnly_; }

    // The process-wide set, made on first use (making keys takes a moment); check made().
    static const TestCertificates& shared();

private:
    bool run(const std::string& args);
    bool issue(const std::string& name, const std::string& subjectNames, const char* start,
               const char* end, const std::string& caName, CertificateFiles& out);

    TempDir dir_{"qb-certs"};
    bool made_ = false;
    std::string error_;
    std::string caFile_;
    CertificateFiles loopback_, otherName_, expired_, notYetValid_, untrusted_, commonNameOnly_;
};

} // namespace qb::test
