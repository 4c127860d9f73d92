#include "checker/PlainLayer.h"

#include <utility>

QByteArray PlainLayer::fromWire(QByteArray received, QByteArray &answer)
{
    // Most answers come in one piece: it becomes the answer as it is, without a copy.
    if (answer.isEmpty())
        answer = std::move(received);
    else
        answer += received;
    return {};
}
