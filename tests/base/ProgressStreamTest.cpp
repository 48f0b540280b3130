#include "base/Progress.h"
#include "base/UiThread.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

using namespace lumora;

namespace {

/// Runs every call posted to the UI thread so far.
void drainPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

struct Seen {
    QList<double> values;
    int ends = 0;
    StreamEnd end;
};

void subscribe(const ProgressStreamPtr& stream, QObject* context, Seen& seen)
{
    stream->subscribe(
        context, [&seen](double value) { seen.values.append(value); },
        [&seen](const StreamEnd& end) {
            ++seen.ends;
            seen.end = end;
        });
}

} // namespace

TEST(ProgressStream, DeliversValuesFromBeforeTheSubscriptionInOrderThenExactlyOneEnd)
{
    const ProgressStreamPtr stream = ProgressStream::create();
    QObject context;
    Seen seen;
    stream->yield(0.25);
    stream->yield(0.5);
    subscribe(stream, &context, seen);
    startInBackground([stream] {
        stream->yield(0.75);
        stream->yield(1.0);
        stream->finish(StreamEnd{std::nullopt, false, 4, 4});
        stream->finish(StreamEnd{Error{QStringLiteral("x"), 1, QStringLiteral("zweites Ende")}, false, 0, 4});
    });
    workPool().waitForDone();
    drainPosted();
    EXPECT_EQ(seen.values, (QList<double>{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(seen.ends, 1);
    EXPECT_FALSE(seen.end.error);
    EXPECT_EQ(seen.end.done, 4);
    drainPosted();
    EXPECT_EQ(seen.ends, 1);
}

TEST(ProgressStream, AReceiverDestroyedWhileValuesAreQueuedGetsNothingAndNothingBreaks)
{
    const ProgressStreamPtr stream = ProgressStream::create();
    auto context = std::make_unique<QObject>();
    Seen seen;
    subscribe(stream, context.get(), seen);
    startInBackground([stream] {
        for (int i = 1; i <= 100; ++i)
            stream->yield(i / 100.0);
        stream->finish(StreamEnd{std::nullopt, false, 100, 100});
    });
    workPool().waitForDone(); // everything produced is queued now
    context.reset();          // the window closes before the UI thread runs the queue
    drainPosted();
    EXPECT_TRUE(seen.values.isEmpty());
    EXPECT_EQ(seen.ends, 0);
    EXPECT_EQ(stream->wait().done, 100); // the producer's side still ended normally
}

TEST(RunInBackground, TheResultOfADestroyedContextIsDropped)
{
    auto context = std::make_unique<QObject>();
    int delivered = 0;
    runInBackground(
        context.get(), [] { return 42; }, [&delivered](int value) { delivered = value; });
    workPool().waitForDone();
    context.reset();
    drainPosted();
    EXPECT_EQ(delivered, 0);

    QObject alive;
    runInBackground(
        &alive, [] { return 7; }, [&delivered](int value) { delivered = value; });
    workPool().waitForDone();
    drainPosted();
    EXPECT_EQ(delivered, 7);
}

TEST(UiChannel, CallsRunInTheOrderPostedAlsoWhenOneOpensANestedEventLoop)
{
    QObject context;
    const UiChannel channel(&context);
    QList<int> order;
    channel.post([&] {
        order.append(1);
        // A modal alert: its event loop runs what was posted behind this call, in order.
        channel.post([&] { order.append(4); });
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        order.append(5);
    });
    channel.post([&] { order.append(2); });
    channel.post([&] { order.append(3); });
    drainPosted();
    drainPosted();
    EXPECT_EQ(order, (QList<int>{1, 2, 3, 4, 5}));
}
