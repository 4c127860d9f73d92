#pragma once

#include "proxylist/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>

#include <optional>

struct stat;

// Writes a list file whole and checks every step, so that a failed save leaves the former file as it was, byte for
// byte, and says why. Where it can, it writes a new copy beside the file and renames it over the old one. Where the
// folder takes no new file, or a rename would split a hard link or give the file another owner, it overwrites the
// file in place as a plain save does, and puts the former contents back if that fails. A symbolic link keeps
// pointing where it pointed; its final target is the file written.
class ListFileWriter
{
    Q_DECLARE_TR_FUNCTIONS(ListFileWriter)

public:
    // path is a native name (see NativeName).
    explicit ListFileWriter(const QString &path);

    Result<> write(QByteArrayView bytes) const;

private:
    // No value when the file must be written in place instead.
    std::optional<Result<>> replace(const QByteArray &target, const struct stat *former, QByteArrayView bytes) const;
    Result<> writeInPlace(const QByteArray &target, QByteArrayView bytes) const;

    QString m_path;
};
