#include "peers/puffin-api/TestCertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace peers {

struct TestCertificate::Keys {
    std::shared_ptr<X509> certificate;
    std::shared_ptr<EVP_PKEY> key;
};

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "TestCertificate: %s\n", what);
    std::abort();
}

void addExtension(X509* x, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    if (!extension) fail("bad extension");
    X509_add_ext(x, extension, -1);
    X509_EXTENSION_free(extension);
}

std::string bioText(BIO* bio) {
    char* bytes = nullptr;
    const long n = BIO_get_mem_data(bio, &bytes);
    return std::string(bytes, static_cast<size_t>(n));
}

}  // namespace

TestCertificate TestCertificate::make(const Spec& spec, const TestCertificate* issuer) {
    static std::atomic<long> serial{1000};
    TestCertificate result;
    result.keys_ = std::make_shared<Keys>();
    if (spec.sameKeyAs) {
        result.keys_->key = spec.sameKeyAs->keys_->key;
    } else {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        if (!key) fail("no key");
        result.keys_->key = std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
    }
    result.keys_->certificate = std::shared_ptr<X509>(X509_new(), X509_free);
    X509* x = result.keys_->certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), spec.notBefore);
    X509_gmtime_adj(X509_getm_notAfter(x), spec.notAfter);
    X509_set_pubkey(x, result.keys_->key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(spec.commonName.c_str()), -1,
                               -1, 0);
    X509* signer = issuer ? issuer->keys_->certificate.get() : x;
    X509_set_issuer_name(x, X509_get_subject_name(signer));
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, signer, x, nullptr, nullptr, 0);
    addExtension(x, &ctx, NID_basic_constraints, spec.authority ? "critical,CA:TRUE" : "CA:FALSE");
    addExtension(x, &ctx, NID_subject_key_identifier, "hash");
    if (spec.authority) {
        addExtension(x, &ctx, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
    } else {
        addExtension(x, &ctx, NID_key_usage, "critical,digitalSignature");
        addExtension(x, &ctx, NID_ext_key_usage, "serverAuth");
    }
    if (!spec.altNames.empty()) addExtension(x, &ctx, NID_subject_alt_name, spec.altNames);
    EVP_PKEY* signingKey = issuer ? issuer->keys_->key.get() : result.keys_->key.get();
    if (X509_sign(x, signingKey, EVP_sha256()) <= 0) fail("cannot sign");

    unsigned char* out = nullptr;
    int n = i2d_X509(x, &out);
    if (n <= 0) fail("cannot encode");
    result.der_ = platform::Data(out, static_cast<size_t>(n));
    OPENSSL_free(out);
    out = nullptr;
    n = i2d_PUBKEY(result.keys_->key.get(), &out);
    if (n <= 0) fail("cannot encode the key");
    result.publicKeyDer_ = platform::Data(out, static_cast<size_t>(n));
    OPENSSL_free(out);

    std::unique_ptr<BIO, decltype(&BIO_free)> certBio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(certBio.get(), x);
    result.pem_ = bioText(certBio.get());
    std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PrivateKey(keyBio.get(), result.keys_->key.get(), nullptr, nullptr, 0, nullptr,
                             nullptr);
    result.keyPem_ = bioText(keyBio.get());
    return result;
}

TestCertificate TestCertificate::selfSigned(Spec spec) {
    spec.authority = true;
    return make(spec);
}

bool TestCertificate::writeFiles(const std::filesystem::path& certificateFile,
                                 const std::filesystem::path& keyFile) const {
    std::ofstream cert(certificateFile, std::ios::binary | std::ios::trunc);
    cert << pem_;
    std::ofstream key(keyFile, std::ios::binary | std::ios::trunc);
    key << keyPem_;
    cert.close();
    key.close();
    return cert.good() && key.good();
}

}  // namespace peers
