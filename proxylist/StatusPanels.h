#pragma once

#include <QObject>
#include <QString>

#include <array>

class ProxyTableModel;

// The six texts of the status bar: three captions and the total, working and anonymous counters.
// Panels are numbered from 1, left to right; the window shows whatever this holds.
class StatusPanels : public QObject
{
    Q_OBJECT

public:
    enum Panel { TotalCaption = 1, Total = 2, WorkingCaption = 3, Working = 4, AnonymousCaption = 5, Anonymous = 6 };
    static constexpr int PanelCount = 6;

    explicit StatusPanels(QObject *parent = nullptr);

    QString text(int panel) const;
    void setText(int panel, const QString &text);

    // Written only after a completed load.
    void setTotal(qsizetype rows);
    // Recounts the rows whose Status is exactly "Working" and those whose Anonymity is exactly "Y".
    void updateCounters(const ProxyTableModel &table);

Q_SIGNALS:
    void textChanged(int panel, const QString &text);

private:
    std::array<QString, PanelCount> m_texts;
};
