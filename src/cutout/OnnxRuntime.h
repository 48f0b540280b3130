#pragma once

#include <QByteArray>
#include <QString>
#include <expected>
#include <memory>

namespace lumora {

/// Where ONNX Runtime's shared library is looked for, first match wins:
///   1. $LUMORA_ONNXRUNTIME when set ("none" turns the runtime off);
///   2. ${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/onnxruntime/libonnxruntime.so.1, which
///      scripts/fetch-model.sh installs, when it exists;
///   3. libonnxruntime.so.1 in `packagedFolder` (the lumora-studio-model package), when it exists.
/// Empty when there is none: the segmentation then runs on OpenCV's DNN module.
[[nodiscard]] QString onnxRuntimePath(const QString& packagedFolder);

/// One model loaded into ONNX Runtime (opened with dlopen, spoken to through its C API), with
/// one float input "input" of 1 × 3 × side × side and one float output "output" of
/// 1 × 1 × side × side. Runs on all cores; concurrent runs are the caller's to serialise.
class OnnxSession {
public:
    ~OnnxSession();
    OnnxSession(const OnnxSession&) = delete;
    OnnxSession& operator=(const OnnxSession&) = delete;

    /// Loads `library` (once per process; later calls must name the same file) and the model in
    /// `model` (ONNX). With `saveOptimisedTo`, the model as the runtime optimised it is written
    /// there, as ONNX. A `Graph::optimised` model (one written so, on this machine) is taken as it
    /// is, without optimising it again. Fails with the runtime's own message.
    enum class Graph { asPublished, optimised };
    [[nodiscard]] static std::expected<std::unique_ptr<OnnxSession>, QString> open(const QString& library,
                                                                                   const QByteArray& model,
                                                                                   const QString& saveOptimisedTo = {},
                                                                                   Graph graph = Graph::asPublished);

    /// The version of the runtime in `library` ("1.30.0"), loading it when needed.
    [[nodiscard]] static std::expected<QString, QString> runtimeVersion(const QString& library);

    /// Runs the model on `input` (3 · side² floats, planes R, G, B) into `output` (side² floats).
    [[nodiscard]] std::expected<void, QString> run(const float* input, float* output, int side);

    /// The runtime's version, "1.30.0" for example.
    [[nodiscard]] QString version() const;

    struct Api; ///< the opened runtime, known only to the implementation

private:
    OnnxSession(const Api* api, void* session);
    const Api* m_api;
    void* m_session;
};

} // namespace lumora
