#pragma once

#include "app/SiteAnswer.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

// The "Target Site..." box: the site's URL, the text its page must hold and the status it must answer with. Each is
// read as it is typed: while one cannot be used, OK is disabled and the box says why.
class TargetSiteDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TargetSiteDialog(const SiteAnswer &current, QWidget *parent = nullptr);

    SiteAnswer answer() const;
    bool canAccept() const;

private:
    // Why the answer cannot be used; empty when it can.
    QString problem() const;
    void check();

    QLineEdit *m_url;
    QLineEdit *m_text;
    QLineEdit *m_status;
    QLabel *m_problem;
    QDialogButtonBox *m_buttons;
};
