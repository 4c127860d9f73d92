#pragma once

#include "app/Desktop.h"

#include <QPointer>
#include <QWidget>

// The real desktop: QClipboard, QFileDialog, QInputDialog, TargetSiteDialog, CountryDialog, QMessageBox and
// QDesktopServices.
class QtDesktop final : public Desktop
{
public:
    void setDialogParent(QWidget *parent) { m_parent = parent; }

    QString clipboardText() override;
    void setClipboardText(const QString &text) override;
    std::optional<QString> openFileName() override;
    std::optional<QString> saveFileName() override;
    std::optional<int> askInteger(const QString &title, const QString &label, int value, int minimum,
                                  int maximum) override;
    std::optional<SiteAnswer> askSite(const SiteAnswer &current) override;
    std::optional<QStringList> askCountries(const CountryChoices &offered) override;
    void information(const QString &title, const QString &text) override;
    void warning(const QString &title, const QString &text) override;
    void openUrl(const QUrl &url) override;

private:
    QPointer<QWidget> m_parent;
};
