#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <csignal>
#include <unistd.h>

// Makes in folder two certificate authorities of the test's own, ca.pem and other-ca.pem, and certificates with their
// keys (NAME.pem, NAME.key) signed by them: good (for localhost and 127.0.0.1), wrong (for wrong.test), other (good's
// names, from the other authority) and expired (good's, until yesterday). Returns what went wrong, empty when
// nothing did.
inline QByteArray makeTestCertificates(const QString &folder)
{
    const char *script = R"(set -e
key="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
for ca in ca other-ca; do openssl req -x509 $key -subj "/CN=Korvane test $ca" -days 2 -keyout $ca.key -out $ca.pem; done
leaf() { # name, authority, subjectAltName, days
    openssl req -new $key -subj /CN=$1 -keyout $1.key -out $1.csr
    echo "subjectAltName=$3" > $1.ext
    openssl x509 -req -in $1.csr -CA $2.pem -CAkey $2.key -days $4 -extfile $1.ext -out $1.pem
}
leaf good ca DNS:localhost,IP:127.0.0.1 2
leaf wrong ca DNS:wrong.test 2
leaf other other-ca DNS:localhost,IP:127.0.0.1 2
leaf expired ca DNS:localhost,IP:127.0.0.1 -1 # from now until yesterday
)";
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.setChildProcessModifier([] { ::setpgid(0, 0); });
    shell.start("sh", {"-c", script});
    if (!shell.waitForFinished(20'000))
        ::kill(-pid_t(shell.processId()), SIGKILL); // the shell and the openssl it waits for; QProcess reaps it
    const bool made = shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
    return made ? QByteArray() : "openssl could not make the certificates: " + shell.readAll();
}
