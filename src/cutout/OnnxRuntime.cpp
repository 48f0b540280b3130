// ONNX Runtime behind a small interface: the library is opened at run time, so the program
// builds and runs without it (the segmentation then falls back to OpenCV's DNN module).
//
// The runtime's C API is a table of function pointers that only ever grows at its end; a
// function's place in it is fixed for all releases. We name the few entries we call by their
// place instead of compiling against the runtime's header.

#include "cutout/OnnxRuntime.h"

#include "cutout/CompiledModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

namespace lumora {

namespace {

// Official builds of the runtime since 1.29 collect usage events on Linux: they keep a device
// identifier and a queue of events under ~/.cache/Microsoft and upload them to Microsoft. A
// photo tool has no business sending anything anywhere, so this turns that off for the whole
// process. The runtime reads the variable when its environment is created; it is set here, while
// the program starts and no other thread can read the environment at the same time.
[[maybe_unused]] const bool g_telemetryOff = [] {
    ::setenv("ORT_DISABLE_TELEMETRY", "1", 1);
    return true;
}();

struct OrtStatus;
struct OrtEnv;
struct OrtSessionOptions;
struct OrtMemoryInfo;
struct OrtValue;
struct OrtSessionHandle;

// The version of the table we ask for; every runtime since 1.13 serves it.
constexpr uint32_t kApiVersion = 13;

// Places in the table (OrtApi), and the signatures of what sits there.
enum Entry : int {
    getErrorMessage = 2,
    createEnv = 3,
    createSessionFromArray = 8,
    run = 9,
    createSessionOptions = 10,
    setOptimizedModelFilePath = 11,
    setSessionExecutionMode = 13,
    setSessionGraphOptimizationLevel = 23,
    setIntraOpNumThreads = 24,
    setInterOpNumThreads = 25,
    createTensorWithDataAsOrtValue = 49,
    createCpuMemoryInfo = 69,
    releaseStatus = 93,
    releaseSession = 95,
    releaseValue = 96,
    releaseSessionOptions = 100,
    addSessionConfigEntry = 130,
};

using GetErrorMessageFn = const char* (*)(const OrtStatus*);
using CreateEnvFn = OrtStatus* (*)(int severity, const char* logId, OrtEnv** out);
using CreateSessionFromArrayFn = OrtStatus* (*)(const OrtEnv*, const void* data, size_t length,
                                                const OrtSessionOptions*, OrtSessionHandle** out);
using RunFn = OrtStatus* (*)(OrtSessionHandle*, const void* runOptions, const char* const* inputNames,
                             const OrtValue* const* inputs, size_t inputCount, const char* const* outputNames,
                             size_t outputCount, OrtValue** outputs);
using CreateSessionOptionsFn = OrtStatus* (*)(OrtSessionOptions** out);
using SetIntFn = OrtStatus* (*)(OrtSessionOptions*, int);
using CreateTensorFn = OrtStatus* (*)(const OrtMemoryInfo*, void* data, size_t bytes, const int64_t* shape,
                                      size_t dimensions, int elementType, OrtValue** out);
using CreateCpuMemoryInfoFn = OrtStatus* (*)(int allocatorType, int memoryType, OrtMemoryInfo** out);
using ReleaseStatusFn = void (*)(OrtStatus*);
using ReleaseSessionFn = void (*)(OrtSessionHandle*);
using ReleaseValueFn = void (*)(OrtValue*);
using ReleaseSessionOptionsFn = void (*)(OrtSessionOptions*);
using SetPathFn = OrtStatus* (*)(OrtSessionOptions*, const char* path);
using AddConfigEntryFn = OrtStatus* (*)(OrtSessionOptions*, const char* key, const char* value);

struct ApiBase {
    const void* const* (*getApi)(uint32_t version);
    const char* (*getVersionString)();
};

constexpr int kLogErrorsOnly = 3;
constexpr int kSequential = 0;
constexpr int kOptimiseNothing = 0;
constexpr int kOptimiseAll = 99;
constexpr int kDeviceAllocator = 0;
constexpr int kCpuMemory = 0;
constexpr int kFloat = 1;

} // namespace

struct OnnxSession::Api {
    QString path;
    void* library = nullptr;
    const void* const* table = nullptr;
    QString version;
    OrtEnv* env = nullptr;
    OrtMemoryInfo* cpu = nullptr;

    template <typename Fn>
    Fn at(Entry entry) const
    {
        return reinterpret_cast<Fn>(const_cast<void*>(table[entry]));
    }

    // The message of a failed call, and the status released; empty for success.
    QString failure(OrtStatus* status) const
    {
        if (!status)
            return {};
        const QString message = QString::fromUtf8(at<GetErrorMessageFn>(getErrorMessage)(status)).trimmed();
        at<ReleaseStatusFn>(releaseStatus)(status);
        return message.isEmpty() ? QStringLiteral("unbekannter Fehler") : message;
    }
};

namespace {

// The runtime, opened once per process and never closed: its threads outlive any one session.
std::expected<const OnnxSession::Api*, QString> openRuntime(const QString& path)
{
    static std::mutex mutex;
    static OnnxSession::Api api;
    static QString failed;
    const std::scoped_lock lock(mutex);
    if (api.table)
        return api.path == path ? std::expected<const OnnxSession::Api*, QString>(&api)
                                : std::unexpected(QStringLiteral("%1 ist bereits geladen").arg(api.path));
    void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return std::unexpected(QString::fromLocal8Bit(dlerror()));
    const auto base = reinterpret_cast<const ApiBase* (*)()>(dlsym(library, "OrtGetApiBase"));
    const void* const* table = base ? base()->getApi(kApiVersion) : nullptr;
    if (!table) {
        dlclose(library);
        return std::unexpected(QStringLiteral("%1 ist keine passende ONNX-Runtime").arg(path));
    }
    api.path = path;
    api.library = library;
    api.table = table;
    api.version = QString::fromUtf8(base()->getVersionString());
    QString error = api.failure(api.at<CreateEnvFn>(createEnv)(kLogErrorsOnly, "lumora", &api.env));
    if (error.isEmpty())
        error = api.failure(api.at<CreateCpuMemoryInfoFn>(createCpuMemoryInfo)(kDeviceAllocator, kCpuMemory, &api.cpu));
    if (!error.isEmpty()) {
        api.table = nullptr; // the library stays open: the runtime may have started threads
        return std::unexpected(error);
    }
    return &api;
}

} // namespace

QString onnxRuntimePath(const QString& packagedFolder)
{
    const QString file = QStringLiteral("libonnxruntime.so.1");
    const QString override = qEnvironmentVariable("LUMORA_ONNXRUNTIME");
    if (override == QLatin1String("none"))
        return {};
    if (!override.isEmpty())
        return override;
    const QString fetched = lumoraCacheFolder() + QStringLiteral("/onnxruntime/") + file;
    if (QFileInfo::exists(fetched))
        return fetched;
    const QString packaged = QDir(packagedFolder).filePath(file);
    return QFileInfo::exists(packaged) ? packaged : QString();
}

OnnxSession::OnnxSession(const Api* api, void* session) : m_api(api), m_session(session)
{
}

OnnxSession::~OnnxSession()
{
    m_api->at<ReleaseSessionFn>(releaseSession)(static_cast<OrtSessionHandle*>(m_session));
}

std::expected<QString, QString> OnnxSession::runtimeVersion(const QString& library)
{
    const auto api = openRuntime(library);
    if (!api)
        return std::unexpected(api.error());
    return (*api)->version;
}

std::expected<std::unique_ptr<OnnxSession>, QString> OnnxSession::open(const QString& library, const QByteArray& model,
                                                                       const QString& saveOptimisedTo, Graph graph)
{
    const auto api = openRuntime(library);
    if (!api)
        return std::unexpected(api.error());
    const Api& a = **api;
    OrtSessionOptions* options = nullptr;
    QString error = a.failure(a.at<CreateSessionOptionsFn>(createSessionOptions)(&options));
    const auto set = [&](Entry entry, int value) {
        if (error.isEmpty())
            error = a.failure(a.at<SetIntFn>(entry)(options, value));
    };
    set(setSessionExecutionMode, kSequential);
    set(setSessionGraphOptimizationLevel, graph == Graph::optimised ? kOptimiseNothing : kOptimiseAll);
    set(setIntraOpNumThreads, std::max(1, QThread::idealThreadCount()));
    set(setInterOpNumThreads, 1);
    // Waiting threads sleep instead of spinning: a mask is made while the window stays responsive.
    if (error.isEmpty())
        error =
            a.failure(a.at<AddConfigEntryFn>(addSessionConfigEntry)(options, "session.intra_op.allow_spinning", "0"));
    if (error.isEmpty() && !saveOptimisedTo.isEmpty())
        error = a.failure(
            a.at<SetPathFn>(setOptimizedModelFilePath)(options, QFile::encodeName(saveOptimisedTo).constData()));
    OrtSessionHandle* session = nullptr;
    if (error.isEmpty())
        error = a.failure(a.at<CreateSessionFromArrayFn>(createSessionFromArray)(
            a.env, model.constData(), size_t(model.size()), options, &session));
    a.at<ReleaseSessionOptionsFn>(releaseSessionOptions)(options);
    if (!error.isEmpty())
        return std::unexpected(error);
    return std::unique_ptr<OnnxSession>(new OnnxSession(&a, session));
}

std::expected<void, QString> OnnxSession::run(const float* input, float* output, int side)
{
    const Api& a = *m_api;
    const int64_t inputShape[] = {1, 3, side, side};
    const int64_t outputShape[] = {1, 1, side, side};
    const size_t plane = size_t(side) * size_t(side);
    OrtValue* in = nullptr;
    OrtValue* out = nullptr;
    const auto tensor = a.at<CreateTensorFn>(createTensorWithDataAsOrtValue);
    QString error =
        a.failure(tensor(a.cpu, const_cast<float*>(input), 3 * plane * sizeof(float), inputShape, 4, kFloat, &in));
    if (error.isEmpty())
        error = a.failure(tensor(a.cpu, output, plane * sizeof(float), outputShape, 4, kFloat, &out));
    if (error.isEmpty()) {
        const char* inputName = "input";
        const char* outputName = "output";
        error = a.failure(a.at<RunFn>(Entry::run)(static_cast<OrtSessionHandle*>(m_session), nullptr, &inputName, &in,
                                                  1, &outputName, 1, &out));
    }
    a.at<ReleaseValueFn>(releaseValue)(in);
    a.at<ReleaseValueFn>(releaseValue)(out);
    if (!error.isEmpty())
        return std::unexpected(error);
    return {};
}

QString OnnxSession::version() const
{
    return m_api->version;
}

} // namespace lumora
