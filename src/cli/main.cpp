#include "base/NativePath.h"
#include "base/UiThread.h"
#include "cli/Commands.h"
#include "cli/Cutout.h"
#include "pipeline/SourceImage.h"

#include <QGuiApplication>
#include <QIODevice>
#include <QTextStream>
#include <cstdio>
#include <malloc.h>

namespace {

/// stderr for the commands' messages, which name files: text arrives as UTF-16 and leaves with
/// the names' own bytes (see NativePath.h) at once, so progress lines still show as they come.
class NativeStderr : public QIODevice {
public:
    NativeStderr() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        m_pending.append(data, size);
        QString text;
        for (qsizetype i = 0; i + 1 < m_pending.size(); i += 2)
            text.append(QChar(char16_t(uchar(m_pending[i]) | (uchar(m_pending[i + 1]) << 8))));
        m_pending.remove(0, text.size() * 2);
        const QByteArray bytes = lumora::nativePath(text);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
        return size;
    }

private:
    QByteArray m_pending; // half of a UTF-16 unit
};

int run(QStringList args, QTextStream& out, QTextStream& err)
{
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("render"))
        return lumora::runRender(args, out, err);
    if (command == QLatin1String("export"))
        return lumora::runExport(args, out, err);
    if (command == QLatin1String("bench"))
        return lumora::runBench(args, out, err);
    if (command == QLatin1String("cutout"))
        return lumora::runCutout(args, out, err);
    if (command == QLatin1String("--version")) {
        out << "lumora-cli " LUMORA_VERSION "\n";
        return 0;
    }
    const bool help = command == QLatin1String("--help") || command == QLatin1String("-h");
    (help ? out : err) << "Aufruf: lumora-cli BEFEHL [Optionen] [Argumente]\n"
                          "Befehle:\n"
                          "  render   ein Foto mit Bearbeitungen rendern und schreiben\n"
                          "  export   Fotos nummeriert als JPEG oder PNG exportieren\n"
                          "  bench    Dekodieren, Rendern, Kodieren und Export messen\n"
                          "  cutout   die Motive eines Fotos freistellen, neuer Hintergrund\n"
                          "  --version  Namen und Version ausgeben\n"
                          "\"lumora-cli BEFEHL --help\" zeigt die Optionen eines Befehls.\n";
    return help ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Blocks from 1 MiB on (rows on their way to the encoder, file reads) go back to the system
    // when freed. glibc otherwise raises this bound to the size of each large block freed, and
    // the blocks of that size that follow stay in its heaps after use: a batch of photos of
    // 24 MP kept some 20 MB there that it never used again, for no gain in time.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    lumora::loadOnlyUsedDecoders();
    // Text drawing needs a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // File names as given, bytes that are not UTF-8 included (QCoreApplication::arguments()
    // would replace them); the application has taken its own options out of argv.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(lumora::pathFromNative(QByteArray(argv[i])));
    QTextStream out(stdout);
    NativeStderr errors;
    QTextStream err(&errors);
    err.setEncoding(QStringConverter::Utf16LE);
    const int status = run(std::move(args), out, err);
    out.flush();
    err.flush();
    // A job that has reported its end may still be letting its photos go: it ends before the
    // application object and the libraries' globals are torn down, or the exit can crash.
    lumora::workPool().waitForDone();
    return status;
}
