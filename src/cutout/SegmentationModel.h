#pragma once

#include "base/Error.h"

#include <QImage>
#include <QString>
#include <expected>

namespace lumora {

/// Side length of the square input of the installed segmentation model, in pixels.
inline constexpr int kSegmentationInputSize = 768;

/// Where the background-removal model is expected, first match wins:
///   1. $LUMORA_MODEL_PATH when set (whether or not the file exists);
///   2. ${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/models/isnet-768-fp32.onnx, the file that
///      scripts/fetch-model.sh installs for one user, when it exists;
///   3. isnet-768-fp32.onnx in the folder of the lumora-studio-model package
///      (<prefix>/share/lumora-studio/models), when it exists;
///   4. otherwise the user's cache path of 2, which the "missing model" message then names.
/// Read from the environment and the file system on every call.
[[nodiscard]] QString segmentationModelPath();

/// The same with `packagedFolder` in place of the package's folder (for tests).
[[nodiscard]] QString segmentationModelPath(const QString& packagedFolder);

/// The 8-bit network made from the float model at `floatModel`, beside it: "isnet-768-fp32.onnx"
/// → "isnet-768-int8.onnx" (a name without "-fp32" gets "-int8" before its ".onnx").
[[nodiscard]] QString quantisedModelPath(const QString& floatModel);

/// Soft foreground mask of all salient subjects of `bitmap`, computed by the ISNet model with
/// ONNX Runtime when onnxRuntimePath (cutout/OnnxRuntime.h) finds it, else with OpenCV's DNN
/// module (slower; a runtime that fails to load is logged and OpenCV takes over): the photo is
/// stretched to the model's square input, and the model's probabilities are stretched back
/// bilinearly to the bitmap's size. The result is
/// Format_Grayscale8 of the bitmap's size (255 certain subject, 0 background), not thresholded.
/// Colours are read premultiplied, so transparent areas count as black.
///
/// The model is loaded from segmentationModelPath() on first use and kept for later calls (loaded
/// again when the file, the path or the runtime's path changes). With ONNX Runtime, the 8-bit
/// network beside it (quantisedModelPath) is loaded instead when it is there: a third faster, the
/// same subjects; one that does not load is logged once and the float model used. When the set-up
/// script's checksum file (the model's path + ".sha256") is present, the model must match it.
/// Thread-safe: concurrent calls run one at a time. Takes up to a second; never call it on the
/// user-interface thread. Fails with segmentationErrors::modelMissing, modelUnusable or failed;
/// nothing throws.
[[nodiscard]] std::expected<QImage, Error> isnetMask(const QImage& bitmap);

/// isnetMask with the model at `modelPath` itself (never an 8-bit network beside it), whose
/// square input is `inputSize` pixels (for the benchmarks that compare models; the app uses
/// isnetMask). The shared model is replaced when the path differs from the loaded one. Fails as
/// isnetMask does; an input size the model was not made for gives segmentationErrors::failed or
/// modelUnusable.
[[nodiscard]] std::expected<QImage, Error> isnetMaskWith(const QImage& bitmap, const QString& modelPath, int inputSize);

/// Starts loading the model on the thread pool, so that the first isnetMask does not wait
/// for it (about half a second). Silent: a missing or damaged model is reported by the next
/// isnetMask. The model then stays loaded for the process (about the size of its file).
void preloadIsnet();

/// Unloads the model on the thread pool, after a mask under way: the model and the runtime's
/// working memory (together about 650 MB with ONNX Runtime) go back to the system. The next
/// mask or preload loads it again.
void releaseIsnet();

/// What ran the last model loaded: "ONNX Runtime 1.30.0", "ONNX Runtime 1.30.0, 8-Bit-Netz",
/// "OpenCV DNN", or empty before any.
[[nodiscard]] QString segmentationRuntime();

/// Errors of segmentation: domain "FreistellenEngine" and these codes.
namespace segmentationErrors {
inline constexpr QLatin1StringView domain{"FreistellenEngine"};
enum Code : int {
    noSubject = 1,     ///< nothing in the foreground
    modelMissing = 2,  ///< the model file is not installed
    modelUnusable = 3, ///< the model file cannot be used
    failed = 4,        ///< segmentation itself failed
};
} // namespace segmentationErrors

/// The error for `code` with its German description; `detail` (a path or a library's message)
/// is worked into the text where the code has a place for it.
[[nodiscard]] Error segmentationError(segmentationErrors::Code code, const QString& detail = {});

} // namespace lumora
