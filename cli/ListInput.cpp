#include "cli/ListInput.h"

#include "proxylist/ListFileReader.h"
#include "proxylist/NativeName.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"

QString ListInput::readAll(const QStringList &files)
{
    const QStringList lists = files.isEmpty() ? QStringList{QStringLiteral("-")} : files;
    const ProxyValidator validator;
    ProxyLoader loader(m_table, m_panels, validator);
    for (const QString &path : lists) {
        const bool standardInput = path == QLatin1String("-");
        const Result<QByteArray> data = standardInput ? ListFileReader::readStandardInput()
                                                      : ListFileReader::read(path, ListFileReader::PipesAndDevicesToo);
        if (!data)
            return tr("cannot read %1: %2")
                .arg(standardInput ? tr("standard input") : NativeName::readable(path), data.error());
        loader.loadFromBytes(*data, true);
    }
    return {};
}

bool ListInput::readsStandardInput(const QStringList &files)
{
    return files.isEmpty() || files.contains(QStringLiteral("-"));
}
