#include "app/SiteAnswer.h"

#include <QCoreApplication>

std::variant<std::optional<SiteCheck>, QString> SiteAnswer::siteCheck() const
{
    if (url.trimmed().isEmpty())
        return std::optional<SiteCheck>();
    std::variant<SiteCheck, QString> read = SiteCheck::fromUrl(url.trimmed());
    if (auto *reason = std::get_if<QString>(&read))
        return std::move(*reason);
    auto &site = std::get<SiteCheck>(read);
    if (!expectedStatus.trimmed().isEmpty()) {
        auto statuses = SiteCheck::statusesFrom(expectedStatus.trimmed());
        if (!statuses)
            return QCoreApplication::translate("SiteAnswer", "the expected status must be codes from 100 to 599, "
                                                             "such as 200, 200,204 or 200-299,304");
        site.statuses = std::move(*statuses);
    }
    if (!expectedText.isEmpty())
        site.texts = {expectedText.toUtf8()};
    return std::optional<SiteCheck>(std::move(site));
}
