#include "app/QtDesktop.h"

#include "app/CountryDialog.h"
#include "app/TargetSiteDialog.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {
QString textFilesFilter()
{
    return QFileDialog::tr("Text Files (*.txt)");
}

std::optional<QString> chosen(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
} // namespace

QString QtDesktop::clipboardText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void QtDesktop::setClipboardText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(text, QClipboard::Clipboard);
}

std::optional<QString> QtDesktop::openFileName()
{
    return chosen(QFileDialog::getOpenFileName(m_parent, {}, {}, textFilesFilter()));
}

std::optional<QString> QtDesktop::saveFileName()
{
    return chosen(QFileDialog::getSaveFileName(m_parent, {}, {}, textFilesFilter()));
}

std::optional<int> QtDesktop::askInteger(const QString &title, const QString &label, int value, int minimum,
                                         int maximum)
{
    bool ok = false;
    const int chosen = QInputDialog::getInt(m_parent, title, label, value, minimum, maximum, 1, &ok);
    return ok ? std::make_optional(chosen) : std::nullopt;
}

std::optional<SiteAnswer> QtDesktop::askSite(const SiteAnswer &current)
{
    TargetSiteDialog dialog(current, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.answer();
}

std::optional<QStringList> QtDesktop::askCountries(const CountryChoices &offered)
{
    CountryDialog dialog(offered, m_parent);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty())
        return std::nullopt;
    return dialog.chosen();
}

void QtDesktop::information(const QString &title, const QString &text)
{
    QMessageBox::information(m_parent, title, text, QMessageBox::Ok);
}

void QtDesktop::warning(const QString &title, const QString &text)
{
    QMessageBox::warning(m_parent, title, text, QMessageBox::Ok);
}

void QtDesktop::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
