#include "cutout/CompiledModel.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>

#include <cstdio>

namespace lumora {

namespace {

// What the runtime's optimised graph depends on: the processor's instruction sets.
QByteArray processorKey()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    // Read whole: a file of /proc has no size, so QFile::atEnd holds from the start.
    const QByteArray text = cpuinfo.open(QIODevice::ReadOnly) ? cpuinfo.readAll() : QByteArray();
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith("flags"))
            return sha256Hex(line).left(8);
    return QByteArrayLiteral("any");
}

bool writeChecksum(const QString& path, const QByteArray& hex)
{
    QFile file(path + QStringLiteral(".sha256"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(hex + "  " + QFileInfo(path).fileName().toUtf8() + '\n') > 0 && file.flush();
}

} // namespace

QString lumoraCacheFolder()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/lumora-studio");
}

QString compiledModelPath(const QByteArray& modelSha256, const QString& runtimeVersion)
{
    return lumoraCacheFolder()
           + QStringLiteral("/models/isnet-%1-ort%2-%3.optimised.onnx")
                 .arg(QString::fromLatin1(modelSha256.left(16)), runtimeVersion, QString::fromLatin1(processorKey()));
}

QByteArray mapCompiledModel(QFile& file, QByteArray* expectedSha256)
{
    // Mapped, not read: 170 MB need no copy. A new compiled model replaces the file by rename,
    // so the mapped one stays as it was.
    *expectedSha256 = expectedChecksum(file.fileName());
    if (expectedSha256->isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return {};
    const uchar* mapped = file.map(0, file.size());
    return mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(file.size()))
                  : QByteArray();
}

bool keepCompiledModel(const QString& written, const QString& path)
{
    QFile file(written);
    const QByteArray hex = file.open(QIODevice::ReadOnly) ? sha256Hex(file.readAll()) : QByteArray();
    file.close();
    // A file without its checksum is never read, so a crash between the two steps costs only a
    // new compilation.
    dropCompiledModel(path);
    if (hex.isEmpty() || std::rename(QFile::encodeName(written).constData(), QFile::encodeName(path).constData()) != 0
        || !writeChecksum(path, hex)) {
        QFile::remove(written);
        dropCompiledModel(path);
        return false;
    }
    const QFileInfo kept(path);
    for (const QFileInfo& other : kept.dir().entryInfoList({QStringLiteral("isnet-*.optimised.onnx")}, QDir::Files))
        if (other.fileName() != kept.fileName())
            dropCompiledModel(other.filePath());
    // What a process that ended while the runtime wrote left behind; a day old, it is no one's.
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo& left :
         kept.dir().entryInfoList({QStringLiteral("isnet-*.optimised.onnx.new-*")}, QDir::Files))
        if (left.lastModified() < dayAgo)
            QFile::remove(left.filePath());
    return true;
}

void dropCompiledModel(const QString& path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".sha256"));
}

QByteArray sha256Hex(const QByteArray& data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

QByteArray expectedChecksum(const QString& path)
{
    QFile file(path + QStringLiteral(".sha256"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine(200).trimmed().split(' ').value(0).toLower();
}

} // namespace lumora
