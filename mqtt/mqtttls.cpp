#include "mqtt/mqtttls.h"

#include <QStringList>
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <utility>

namespace {

// Where a context keeps the MqttTls it belongs to, for the verify callback.
int contextIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

bool isAddress(const QByteArray &host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.constData(), address) == 1 ||
           inet_pton(AF_INET6, host.constData(), address) == 1;
}

// A name's common name, or the whole name when it has none.
QString displayName(X509_NAME *name)
{
    char text[256] = {};
    if (X509_NAME_get_text_by_NID(name, NID_commonName, text, sizeof text) > 0)
        return QString::fromUtf8(text);
    return QString::fromUtf8(X509_NAME_oneline(name, text, sizeof text));
}

QString addressText(const ASN1_OCTET_STRING *address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const int family = address->length == 4 ? AF_INET : AF_INET6;
    if (address->length != 4 && address->length != 16)
        return QString();
    return QString::fromLatin1(inet_ntop(family, address->data, text, sizeof text));
}

// The names a certificate is for: its subject alternative names, else its common name.
QString namesOf(X509 *certificate)
{
    QStringList names;
    auto *alternatives = static_cast<GENERAL_NAMES *>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME *name = sk_GENERAL_NAME_value(alternatives, i);
        if (name->type == GEN_DNS)
            names << QString::fromLatin1(
                reinterpret_cast<const char *>(ASN1_STRING_get0_data(name->d.dNSName)),
                ASN1_STRING_length(name->d.dNSName));
        else if (name->type == GEN_IPADD)
            names << addressText(name->d.iPAddress);
    }
    GENERAL_NAMES_free(alternatives);
    names.removeAll(QString());
    return names.isEmpty() ? displayName(X509_get_subject_name(certificate))
                           : names.join(QStringLiteral(", "));
}

} // namespace

MqttTls::MqttTls(const QString &host)
    : m_host(host)
{
}

MqttTls::~MqttTls()
{
    SSL_CTX_free(m_context);
}

bool MqttTls::setUp(const QString &caFile, QString *error)
{
    m_context = SSL_CTX_new(TLS_client_method());
    if (!m_context) {
        *error = tr("Cannot set up TLS");
        return false;
    }
    SSL_CTX_set_ex_data(m_context, contextIndex(), this);
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, &MqttTls::verify);
    // The certificate must be for the name the user gave; an address is checked as an address.
    X509_VERIFY_PARAM *check = SSL_CTX_get0_param(m_context);
    const QByteArray host = m_host.toUtf8();
    if (isAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(check, host.constData());
    } else {
        X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(check, host.constData(), size_t(host.size()));
    }
    if (caFile.isEmpty()) {
        if (SSL_CTX_set_default_verify_paths(m_context) == 1)
            return true;
        *error = tr("Cannot read the system's certificate authorities");
        return false;
    }
    if (SSL_CTX_load_verify_locations(m_context, caFile.toLocal8Bit().constData(), nullptr) == 1)
        return true;
    *error = tr("Cannot read the certificate authority %1: %2")
                 .arg(caFile, QString::fromLatin1(ERR_reason_error_string(ERR_get_error())));
    ERR_clear_error();
    return false;
}

QString MqttTls::takeFailure()
{
    return std::exchange(m_failure, QString());
}

int MqttTls::verify(int preverified, X509_STORE_CTX *store)
{
    if (!preverified) {
        auto *ssl = static_cast<SSL *>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto *self =
            static_cast<MqttTls *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()));
        // The first complaint is the cause; verification stops there.
        if (self && self->m_failure.isEmpty())
            self->noteFailure(store);
    }
    return preverified;
}

void MqttTls::noteFailure(X509_STORE_CTX *store)
{
    const int error = X509_STORE_CTX_get_error(store);
    X509 *certificate = X509_STORE_CTX_get_current_cert(store);
    if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        m_failure =
            tr("the broker's certificate is for %1, not %2").arg(namesOf(certificate), m_host);
        return;
    }
    m_failure = tr("certificate verify failed: %1")
                    .arg(QString::fromLatin1(X509_verify_cert_error_string(error)));
    // Which authority would have to be trusted: the issuer that was not found, or the
    // self-signed one that was sent but is not trusted here.
    X509_NAME *authority = nullptr;
    if (error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
        error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY)
        authority = X509_get_issuer_name(certificate);
    else if (error == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
             error == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT)
        authority = X509_get_subject_name(certificate);
    if (authority)
        m_failure = tr("%1 (the certificate authority \"%2\" is not trusted here)")
                        .arg(m_failure, displayName(authority));
}
