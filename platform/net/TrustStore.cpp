#include "platform/net/TrustStore.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace platform::net {

namespace {

struct Cache {
    std::mutex mutex;
    std::filesystem::path path;
    std::filesystem::file_time_type modified;
    uintmax_t size = 0;
    bool loaded = false;
    std::string pem;  // the certificates, each as PEM
    std::vector<Data> der;
};

Cache& cache() {
    static Cache* shared = new Cache();
    return *shared;
}

// The certificates of a PEM text, each written back as PEM and as DER.
void parseCertificates(const std::string& text, std::string* pem, std::vector<Data>* der) {
    std::unique_ptr<BIO, decltype(&BIO_free)> in(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    while (X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)) {
        if (pem) {
            std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
            PEM_write_bio_X509(out.get(), certificate);
            char* bytes = nullptr;
            const long length = BIO_get_mem_data(out.get(), &bytes);
            pem->append(bytes, static_cast<size_t>(length));
        }
        if (der) {
            unsigned char* bytes = nullptr;
            const int length = i2d_X509(certificate, &bytes);
            if (length > 0) der->emplace_back(bytes, static_cast<size_t>(length));
            OPENSSL_free(bytes);
        }
        X509_free(certificate);
    }
}

// One DER certificate as PEM text.
std::string pemOfCertificate(const Data& der) {
    const unsigned char* p = der.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!certificate) return "";
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(out.get(), certificate);
    X509_free(certificate);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out.get(), &bytes);
    return std::string(bytes, static_cast<size_t>(length));
}

// Brings the cache up to the file (caller holds the mutex).
void refresh(Cache& c) {
    const std::filesystem::path path = deviceTrustStorePath();
    std::error_code ec;
    const bool exists = std::filesystem::is_regular_file(path, ec);
    const auto modified =
        exists ? std::filesystem::last_write_time(path, ec) : std::filesystem::file_time_type();
    const uintmax_t size = exists ? std::filesystem::file_size(path, ec) : 0;
    if (c.loaded && c.path == path && c.modified == modified && c.size == size) return;
    c.path = path;
    c.modified = modified;
    c.size = size;
    c.loaded = true;
    c.pem.clear();
    c.der.clear();
    if (!exists) return;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    parseCertificates(text.str(), &c.pem, &c.der);
}

}  // namespace

std::filesystem::path deviceTrustStorePath() {
    return AppHome::deviceRoot() / "TrustStore.pem";
}

bool addDeviceTrustAnchor(const std::string& certificatePem) {
    std::string pem;
    std::vector<Data> der;
    parseCertificates(certificatePem, &pem, &der);
    if (der.empty()) return false;
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    refresh(c);
    // Every certificate not yet held is appended, in the order given.
    std::string all = c.pem;
    for (size_t i = 0; i < der.size(); ++i) {
        bool known = false;
        for (const Data& held : c.der)
            if (held == der[i]) known = true;
        if (known) continue;
        all += pemOfCertificate(der[i]);
        c.der.push_back(der[i]);
    }
    if (all == c.pem) return true;
    c.loaded = false;  // re-read at the next use
    return files::writeAtomically(deviceTrustStorePath(), std::string_view(all));
}

std::string deviceTrustAnchorsPem() {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    refresh(c);
    return c.pem;
}

std::vector<Data> deviceTrustAnchors() {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    refresh(c);
    return c.der;
}

}  // namespace platform::net
