#include "pipeline/CachedRaster.h"
#include "pipeline/SourceImage.h"

#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

// Originals baked by the editor are kept in the cache folder, lossless, for as long as a copy
// of the original lives.
TEST(CachedRaster, KeepsThePixelsInAFileThatGoesWithTheLastCopyAndRefusesItDamaged)
{
    const QImage pixels = noise(37, 21); // an odd width: rows are not padded in the file
    QString path;
    {
        const SourceImage original = SourceImage::fromRasterInCache(pixels);
        const auto decoded = original.decode();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, pixels);
        const auto small = original.decodeToFit({10, 10});
        ASSERT_TRUE(small);
        EXPECT_EQ(*small, *SourceImage::fromRaster(pixels).decodeToFit({10, 10}));

        const QStringList files = QDir(CachedRaster::folder()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        path = QDir(CachedRaster::folder()).filePath(files.first());
        const SourceImage copy = original; // copies share the one file
        EXPECT_EQ(QDir(CachedRaster::folder()).entryList(QDir::Files).size(), 1);
    }
    EXPECT_FALSE(QFile::exists(path));

    // A damaged file fails to decode instead of giving wrong pixels.
    const auto cached = CachedRaster::store(solid(8, 8, Qt::red));
    ASSERT_TRUE(cached);
    QFile file(cached->path());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(100));
    file.close();
    const auto read = cached->read();
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().domain, decoderErrors::domain);
}
