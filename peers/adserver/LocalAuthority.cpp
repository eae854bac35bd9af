#include "peers/adserver/LocalAuthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace peers {

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertificatePtr = std::unique_ptr<X509, decltype(&X509_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "LocalAuthority: %s\n", what);
    std::abort();
}

std::string textOf(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(length));
}

std::string pemOf(X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(bio.get(), certificate);
    return textOf(bio.get());
}

std::string pemOf(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    return textOf(bio.get());
}

CertificatePtr certificateFrom(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    return CertificatePtr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free);
}

KeyPtr keyFrom(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    return KeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
}

void extend(X509* certificate, X509V3_CTX* context, int nid, const std::string& value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str());
    if (!extension) die("bad extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for `key` named `name`, signed by `signer` (itself when null) with `signerKey`.
CertificatePtr sign(EVP_PKEY* key,
                    const std::string& name,
                    X509* signer,
                    EVP_PKEY* signerKey,
                    bool authority,
                    long days,
                    const std::string& altNames) {
    static std::atomic<long> serial{static_cast<long>(std::time(nullptr))};
    CertificatePtr certificate(X509_new(), X509_free);
    X509* x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), days * 24 * 3600);
    X509_set_pubkey(x, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509* issuer = signer ? signer : x;
    X509_set_issuer_name(x, X509_get_subject_name(issuer));
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, x, nullptr, nullptr, 0);
    extend(x, &context, NID_basic_constraints, authority ? "critical,CA:TRUE" : "CA:FALSE");
    extend(x, &context, NID_subject_key_identifier, "hash");
    if (authority) {
        extend(x, &context, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        extend(x, &context, NID_authority_key_identifier, "keyid");
        extend(x, &context, NID_key_usage, "critical,digitalSignature");
        extend(x, &context, NID_ext_key_usage, "serverAuth");
        extend(x, &context, NID_subject_alt_name, altNames);
    }
    if (X509_sign(x, signerKey ? signerKey : key, EVP_sha256()) <= 0) die("cannot sign");
    return certificate;
}

std::optional<std::string> readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return out.good();
}

}  // namespace

LocalAuthority LocalAuthority::make(const std::string& name) {
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) die("no key");
    CertificatePtr certificate = sign(key.get(), name, nullptr, nullptr, true, 3650, "");
    LocalAuthority authority;
    authority.certificatePem_ = pemOf(certificate.get());
    authority.privateKeyPem_ = pemOf(key.get());
    return authority;
}

std::optional<LocalAuthority> LocalAuthority::loadOrMake(const std::filesystem::path& folder) {
    const auto certificateFile = folder / "authority.pem";
    const auto keyFile = folder / "authority-key.pem";
    auto certificate = readText(certificateFile);
    auto key = readText(keyFile);
    if (certificate && key) {
        if (!certificateFrom(*certificate) || !keyFrom(*key)) return std::nullopt;
        LocalAuthority authority;
        authority.certificatePem_ = *certificate;
        authority.privateKeyPem_ = *key;
        return authority;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    LocalAuthority authority = make();
    if (!writeText(keyFile, authority.privateKeyPem_) ||
        !writeText(certificateFile, authority.certificatePem_))
        return std::nullopt;
    std::filesystem::permissions(
        keyFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    return authority;
}

TLSIdentity LocalAuthority::issueServerIdentity(const std::string& altNames) const {
    CertificatePtr authorityCertificate = certificateFrom(certificatePem_);
    KeyPtr authorityKey = keyFrom(privateKeyPem_);
    if (!authorityCertificate || !authorityKey) die("unreadable authority");
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) die("no key");
    CertificatePtr certificate = sign(key.get(), "localhost", authorityCertificate.get(),
                                      authorityKey.get(), false, 365, altNames);
    return TLSIdentity{pemOf(certificate.get()), pemOf(key.get())};
}

}  // namespace peers
