#pragma once

#include "checker/ProbeJudgement.h"
#include "checker/SiteCheck.h"

#include <QByteArray>

#include <vector>

// The user's site asked for its page, and the answer judged as it comes: the status line and headers, then the body,
// de-chunked, searched for the texts expected without ever being held whole. The verdict's site part says what was
// found; the rest is left to the probe that asked.
class SiteJudgement final : public ProbeJudgement
{
public:
    explicit SiteJudgement(const SiteCheck &site);

    QByteArray directRequest() const override;
    QByteArray proxyRequest(const QByteArray &headerLines) const override;
    std::optional<RowVerdict> look(QByteArray &answer) override;
    RowVerdict onClosed(const QByteArray &answer) const override;
    RowVerdict onFailed(const QByteArray &answer) const override;
    RowVerdict onLayerFailed(const QString &reason) const override;

    // The most the status line and headers may take.
    static constexpr qsizetype MaxHeadBytes = qsizetype(64) << 10;

private:
    enum class Body { Sized, Chunked, ToClose };

    // Reads the head off the front of the answer once it is whole; a verdict when it settles the matter.
    std::optional<RowVerdict> readHead(QByteArray &answer);
    // Reads the body's bytes off the front of the answer; true once the body is complete.
    bool readBody(QByteArray &answer);
    // The bytes of chunked coding: the chunks' data is the body. True at the last chunk.
    bool readChunks(QByteArray &answer);
    void take(QByteArrayView bytes);
    // The verdict on the body read so far, taken as the whole of it.
    RowVerdict judgeBody() const;
    static RowVerdict site(SiteStatus status, int httpStatus = 0, const QString &reason = {});

    const SiteCheck &m_site;
    bool m_headRead = false;
    int m_status = 0;
    Body m_body = Body::ToClose;
    // The body's bytes still to come (Sized), or of the chunk being read (Chunked).
    qint64 m_left = 0;
    bool m_inChunkData = false;
    // Why the body could not be read; empty while it can.
    QString m_broken;
    qint64 m_bodyRead = 0;
    // Which texts have been seen, and the end of the body so far, where a text may begin that the next bytes end.
    std::vector<bool> m_found;
    QByteArray m_tail;
    qsizetype m_longestText = 0;
};
