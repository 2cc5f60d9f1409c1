// The certificates are made with "openssl ca", which takes explicit validity dates, so
// expired and not-yet-valid certificates need no clock tricks.
#include "tests/support/test_certificates.h"

#include <sstream>
#include <vector>

#include "tests/support/process.h"

namespace qb::test {
namespace {

constexpr const char* kNow = nullptr; // the default dates: from now for a year
constexpr const char* kKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

std::vector<std::string> Split(const std::string& args) {
    std::vector<std::string> words;
    std::istringstream in(args);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// A minimal configuration for "openssl ca" rooted in folder; copy_extensions keeps nothing
// from the request: the names come from the extension file.
std::string CaConfig(const std::string& folder, const std::string& caName) {
    return "[ca]\ndefault_ca = test\n[test]\ndir = " + folder + "\n" + "database = $dir/" + caName +
           ".index\nnew_certs_dir = $dir\n" + "serial = $dir/" + caName +
           ".serial\ncertificate = $dir/" + caName + ".pem\n" + "private_key = $dir/" + caName +
           ".key\ndefault_md = sha256\n" +
           "default_days = 365\npolicy = any\nunique_subject = no\n" +
           "[any]\ncommonName = supplied\n";
}

} // namespace

bool TestCertificates::run(const std::string& args) {
    ProcessOptions options;
    options.workDir = dir_.path();
    const ProcessResult r = runProcess("openssl", Split(args), options);
    if (r.started && r.exitCode == 0) return true;
    error_ = "openssl " + args + ": " + (r.started ? r.err : r.error);
    return false;
}

bool TestCertificates::issue(const std::string& name, const std::string& subjectNames,
                             const char* start, const char* end, const std::string& caName,
                             CertificateFiles& out) {
    const std::string ext = name + ".ext";
    // No names: the subject's common name (the file name) is all the certificate says.
    const std::string altNames =
        subjectNames.empty() ? "" : "subjectAltName = " + subjectNames + "\n";
    if (!dir_.write(ext, "basicConstraints = CA:FALSE\nkeyUsage = digitalSignature\n"
                         "extendedKeyUsage = serverAuth\n" +
                             altNames))
        return false;
    out.certificate = dir_.file(name + ".pem");
    out.key = dir_.file(name + ".key");
    std::string dates;
    if (start != nullptr) dates = std::string(" -startdate ") + start + " -enddate " + end;
    return run("req " + std::string(kKey) + " -keyout " + name + ".key -out " + name +
               ".csr -subj /CN=" + name) &&
           run("ca -batch -notext -config " + caName + ".cnf -in " + name + ".csr -out " + name +
               ".pem -extfile " + ext + dates);
}

bool TestCertificates::make() {
    if (!dir_.valid()) {
        error_ = "no temporary folder";
        return false;
    }
    for (const char* ca : {"ca", "stranger"}) {
        const std::string name = ca;
        if (!dir_.write(name + ".cnf", CaConfig(dir_.path(), name)) ||
            !dir_.write(name + ".index", "") || !dir_.write(name + ".serial", "1000\n") ||
            !run("req -x509 " + std::string(kKey) + " -days 3650 -keyout " + name + ".key -out " +
                 name + ".pem -subj /CN=Quillbrook-test-" + name +
                 " -addext basicConstraints=critical,CA:TRUE"))
            return false;
    }
    caFile_ = dir_.file("ca.pem");
    const std::string other = std::string("DNS:") + kOtherName;
    made_ =
        issue("loopback", kLoopbackNames, kNow, kNow, "ca", loopback_) &&
        issue("other", other, kNow, kNow, "ca", otherName_) &&
        issue("expired", kLoopbackNames, "20000101000000Z", "20010101000000Z", "ca", expired_) &&
        issue("future", kLoopbackNames, "20990101000000Z", "20991231000000Z", "ca", notYetValid_) &&
        issue("untrusted", kLoopbackNames, kNow, kNow, "stranger", untrusted_) &&
        issue("localhost", "", kNow, kNow, "ca", commonNameOnly_);
    return made_;
}

const TestCertificates& TestCertificates::shared() {
    static TestCertificates instance;
    static const bool made = instance.make();
    static_cast<void>(made);
    return instance;
}

} // namespace qb::test
