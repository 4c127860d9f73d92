#pragma once

#include "app/CountryChoice.h"
#include "app/SiteAnswer.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The desktop services the commands use: clipboard, file chooser, message and input boxes and the web browser.
// The window talks to them only through this interface, so tests can hand in scripted answers.
class Desktop
{
public:
    virtual ~Desktop() = default;

    virtual QString clipboardText() = 0;
    // Empties the clipboard, then puts the text on it as plain text (also when the text is empty).
    virtual void setClipboardText(const QString &text) = 0;

    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFileName() = 0;
    virtual std::optional<QString> saveFileName() = 0;

    // A whole number from minimum to maximum, offering value; nothing when the user cancelled.
    virtual std::optional<int> askInteger(const QString &title, const QString &label, int value, int minimum,
                                          int maximum) = 0;

    // The user's site, offering current; nothing when the user cancelled. What is answered has been checked: its URL
    // is empty or an http:// or https:// address, its status empty or codes SiteCheck reads.
    virtual std::optional<SiteAnswer> askSite(const SiteAnswer &current) = 0;

    // The codes of the countries the user chose among those offered, at least one; nothing when the user cancelled.
    virtual std::optional<QStringList> askCountries(const CountryChoices &offered) = 0;

    // Modal boxes with a single OK button.
    virtual void information(const QString &title, const QString &text) = 0;
    virtual void warning(const QString &title, const QString &text) = 0;

    // Hands the address to the desktop's "open" action; the outcome is not looked at.
    virtual void openUrl(const QUrl &url) = 0;
};
