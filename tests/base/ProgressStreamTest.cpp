#include "base/Progress.h"
#include "base/UiThread.h"
#include "support/Fixtures.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace lumora;
using test::drainPosted;

TEST(ProgressStream, DeliversValuesFromBeforeTheSubscriptionInOrderThenExactlyOneEnd)
{
    const ProgressStreamPtr stream = ProgressStream::create();
    QObject context;
    QList<double> values;
    QList<StreamEnd> ends;
    stream->yield(0.25);
    stream->yield(0.5);
    stream->subscribe(
        &context, [&](double value) { values.append(value); }, [&](const StreamEnd& end) { ends.append(end); });
    startInBackground([stream] {
        stream->yield(0.75);
        stream->yield(1.0);
        stream->finish(StreamEnd{std::nullopt, false, 4, 4});
        stream->finish(StreamEnd{Error{QStringLiteral("x"), 1, QStringLiteral("zweites Ende")}, false, 0, 4});
    });
    workPool().waitForDone();
    drainPosted();
    drainPosted();
    EXPECT_EQ(values, (QList<double>{0.25, 0.5, 0.75, 1.0}));
    ASSERT_EQ(ends.size(), 1);
    EXPECT_FALSE(ends[0].error);
    EXPECT_EQ(ends[0].done, 4);
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
