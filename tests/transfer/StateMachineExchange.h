#pragma once

#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"
#include "transfer/PrefixHasher.h"

#include <QIODevice>

#include <atomic>

// Runs a sender against a receiver without a network or a worker: the
// hashes either side asks for are computed at once, on this thread.
// `toReceiver` and `toSender` are the two directions of the connection.
// Returns the sender's last action (Complete or Close, or None when both
// wait).
template <typename Feed>
DataSender::Action exchange(DataSender &sender, DataReceiver &receiver, Feed &&toReceiver,
    QIODevice &toSender, const std::function<void(const QByteArray &)> &addToSender)
{
    static const std::atomic_bool notCancelled { false };
    DataSender::Step step { DataSender::Action::Send, sender.takeHeader() };
    for (;;) {
        if (step.action == DataSender::Action::Hash) {
            step = sender.onPrefixHashed(
                PrefixHasher::hashFile(sender.filePath(), step.hashUpTo, notCancelled));
            continue;
        }
        if (step.action != DataSender::Action::Send)
            return step.action;
        QIODevice &in = toReceiver(step.bytes);
        QByteArray replies = receiver.receive(in);
        while (const auto request = receiver.hashRequest()) {
            replies += receiver.onHashed(PrefixHasher::hashFile(request->path, request->upTo, notCancelled));
            replies += receiver.receive(in);
        }
        addToSender(replies);
        step = sender.receive(toSender);
    }
}
