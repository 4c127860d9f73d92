#include "cli/ListInput.h"

#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {
constexpr qsizetype Chunk = qsizetype(1) << 20;
}

QString ListInput::readAll(const QStringList &files)
{
    const QStringList lists = files.isEmpty() ? QStringList{QStringLiteral("-")} : files;
    const ProxyValidator validator;
    ProxyLoader loader(m_table, m_panels, validator);
    for (const QString &path : lists) {
        const QFileInfo info(path);
        if (path == QLatin1String("-") || (info.exists() && !info.isFile() && !info.isDir())) {
            if (QString failure = readStream(path); !failure.isEmpty())
                return failure;
            continue;
        }
        if (const FileResult result = loader.loadFromFile(path, true); !result)
            return tr("cannot read %1: %2").arg(path, result.error);
    }
    return {};
}

QString ListInput::readStream(const QString &path)
{
    const bool standardInput = path == QLatin1String("-");
    const QString name = standardInput ? tr("standard input") : path;
    QFile stream;
    const bool opened = standardInput ? stream.open(stdin, QIODevice::ReadOnly) : [&] {
        stream.setFileName(path);
        return stream.open(QIODevice::ReadOnly);
    }();
    if (!opened)
        return tr("cannot read %1: %2").arg(name, stream.errorString());
    // Read in pieces: a stream has no size to trust, and one byte past the limit tells a list that is too long.
    QByteArray data;
    for (;;) {
        const qsizetype before = data.size();
        data.resize(before + Chunk);
        const qint64 got = stream.read(data.data() + before, Chunk);
        data.resize(before + std::max<qint64>(got, 0));
        if (got < 0)
            return tr("cannot read %1: %2").arg(name, stream.errorString());
        if (got == 0)
            break;
        if (data.size() > ProxyLoader::MaxFileSize)
            return tr("cannot read %1: it is longer than %2 MB").arg(name).arg(ProxyLoader::MaxFileSize >> 20);
    }
    const ProxyValidator validator;
    ProxyLoader(m_table, m_panels, validator).loadFromBytes(data, true);
    return {};
}
