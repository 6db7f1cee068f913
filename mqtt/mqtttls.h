#pragma once

#include <QCoreApplication>
#include <QString>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_store_ctx_st X509_STORE_CTX;

// The TLS side of a broker connection: the certificate authorities trusted (a CA file or the
// system's), the name the broker's certificate must carry, and, when the certificate is refused,
// why, in words that say what to fix: the verification result, the names the certificate is for,
// the authority that is not trusted.
class MqttTls
{
    Q_DECLARE_TR_FUNCTIONS(MqttTls)
public:
    // host: the broker's name or address as the user gave it.
    explicit MqttTls(const QString &host);
    ~MqttTls();
    Q_DISABLE_COPY(MqttTls)

    // Trusts the authorities of caFile (empty: the system's); false with *error when the file
    // cannot be used.
    bool setUp(const QString &caFile, QString *error);
    // Handed to the client library, which keeps a reference of its own.
    SSL_CTX *context() const { return m_context; }
    // Why the certificate of the last handshake was refused; empty when it was not. Forgets it.
    QString takeFailure();

private:
    static int verify(int preverified, X509_STORE_CTX *store);
    void noteFailure(X509_STORE_CTX *store);

    const QString m_host;
    SSL_CTX *m_context = nullptr;
    QString m_failure; // written and read on the network thread only
};
