// A throw-away certificate for serving HTTPS on loopback: one EC P-256 key, valid for
// "localhost" and 127.0.0.1, self-signed so that a test can trust exactly this certificate.

#include "DevService.h"

#include <QFile>

#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace velmora::dev {
namespace {

template <typename T, void (*Free)(T *)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

QString openSslError(const char *what) {
    const unsigned long code = ERR_get_error();
    char text[256] = {};
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(what) + u": "_s + QString::fromLatin1(text);
}

bool addExtension(X509 *cert, int nid, const char *value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(cert, extension.get(), -1) == 1;
}

QByteArray pem(const std::function<int(BIO *)> &write) {
    Owned<BIO, BIO_free_all> bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        return {};
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(size));
}

bool writePrivate(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return file.write(bytes) == bytes.size();
}

} // namespace

bool DevService::writeSelfSignedCertificate(const QString &certFile, const QString &keyFile,
                                            QString *error) {
    auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };

    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    if (!key)
        return fail(openSslError("key generation failed"));

    Owned<X509, X509_free> cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1)
        return fail(openSslError("certificate allocation failed"));
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return fail(openSslError("no random serial"));
    serial[0] &= 0x7f; // a positive serial number
    Owned<BIGNUM, BN_free> serialNumber(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!serialNumber || !BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(cert.get())))
        return fail(openSslError("serial number failed"));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());

    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>("localhost"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(
        name, "O", MBSTRING_ASC,
        reinterpret_cast<const unsigned char *>("Velmora development service"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);

    if (!addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
        !addExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        !addExtension(cert.get(), NID_subject_key_identifier, "hash") ||
        !addExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"))
        return fail(openSslError("certificate extension failed"));

    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        return fail(openSslError("signing failed"));

    const QByteArray certPem = pem([&](BIO *bio) { return PEM_write_bio_X509(bio, cert.get()); });
    const QByteArray keyPem = pem([&](BIO *bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    if (certPem.isEmpty() || keyPem.isEmpty())
        return fail(openSslError("PEM encoding failed"));

    QFile out(certFile);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(certPem) != certPem.size())
        return fail(u"cannot write "_s + certFile);
    if (!writePrivate(keyFile, keyPem))
        return fail(u"cannot write "_s + keyFile);
    return true;
}

} // namespace velmora::dev
