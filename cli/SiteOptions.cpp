#include "cli/SiteOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

SiteOptions::SiteOptions()
    : site(QStringLiteral("site"),
           QStringLiteral("Also fetch URL (http:// or https://) through every proxy that works, through the same kind "
                          "of tunnel, with TLS in it for https://, and print what came: Site OK, Site Refused, Text "
                          "Missing, TLS Failed, Site Timeout or Site Error, and the milliseconds to the whole "
                          "answer. No redirect is followed."),
           QStringLiteral("URL")),
      expectStatus(QStringLiteral("expect-status"),
                   QStringLiteral("The statuses the site must answer with: codes and ranges from 100 to 599, "
                                  "such as 200,204 or 200-399 (default: any 2xx)."),
                   QStringLiteral("CODES")),
      expectText(QStringLiteral("expect-text"),
                 QStringLiteral("Bytes the site's page must hold; may be given several times: all must occur."),
                 QStringLiteral("TEXT")),
      maxBody(QStringLiteral("max-body"),
              QStringLiteral("Read at most BYTES of the page and judge on what came (default %1).")
                  .arg(SiteCheck::DefaultMaxBody),
              QStringLiteral("BYTES")),
      cacert(QStringLiteral("cacert"),
             QStringLiteral("Trust the certificates in FILE (PEM) for the site rather than the system's."),
             QStringLiteral("FILE")),
      insecure(QStringLiteral("insecure"), QStringLiteral("Do not check the site's certificate at all."))
{}

std::vector<const QCommandLineOption *> SiteOptions::options() const
{
    return {&site, &expectStatus, &expectText, &maxBody, &cacert, &insecure};
}

std::variant<std::optional<SiteCheck>, QString> SiteOptions::read(const QCommandLineParser &parser) const
{
    if (!parser.isSet(site)) {
        for (const QCommandLineOption *option : options()) {
            if (parser.isSet(*option))
                return QStringLiteral("--%1 needs --site").arg(option->names().constLast());
        }
        return std::nullopt;
    }
    std::variant<SiteCheck, QString> read = SiteCheck::fromUrl(parser.value(site));
    if (const QString *error = std::get_if<QString>(&read))
        return QStringLiteral("--site: %1").arg(*error);
    SiteCheck check = std::get<SiteCheck>(std::move(read));
    if (parser.isSet(expectStatus)) {
        const auto statuses = SiteCheck::statusesFrom(parser.value(expectStatus));
        if (!statuses)
            return QStringLiteral("--expect-status takes codes and ranges from 100 to 599, such as 200,204 or 200-399");
        check.statuses = *statuses;
    }
    for (const QString &text : parser.values(expectText)) {
        if (text.isEmpty())
            return QStringLiteral("--expect-text takes a text that is not empty");
        check.texts.append(text.toUtf8());
    }
    if (parser.isSet(maxBody)) {
        bool ok = false;
        check.maxBody = parser.value(maxBody).toLongLong(&ok);
        if (!ok || check.maxBody < 1 || check.maxBody > MaxBodyLimit)
            return QStringLiteral("--max-body takes a whole number of bytes from 1 to %1").arg(MaxBodyLimit);
    }
    if (parser.isSet(cacert)) {
        check.caFile = parser.value(cacert);
        const QFileInfo file(check.caFile);
        if (!file.isFile() || !file.isReadable())
            return QStringLiteral("--cacert: cannot read %1").arg(check.caFile);
    }
    check.insecure = parser.isSet(insecure);
    return check;
}
