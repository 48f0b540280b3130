#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace lumora {

/// ${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio: the user's cache of Lumora Studio, where the
/// set-up scripts put the model and ONNX Runtime (not QStandardPaths: the scripts compute the
/// same folder from the same variables, and QStandardPaths moves it in test mode).
[[nodiscard]] QString lumoraCacheFolder();

/// Where the model whose checksum is `modelSha256` (hex) is kept as ONNX Runtime `runtimeVersion`
/// optimised it for this processor (an ONNX graph with the runtime's own fused operators):
/// loading it skips most of the optimisation, about half a second. The name holds all three,
/// so a new model, runtime or processor gets a file of its own.
[[nodiscard]] QString compiledModelPath(const QByteArray& modelSha256, const QString& runtimeVersion);

/// The compiled model in `file` (opened here) mapped into memory, when the file and its checksum
/// file (".sha256" beside it, returned in `expectedSha256`) are there; else empty. The bytes are
/// valid while `file` stays open.
[[nodiscard]] QByteArray mapCompiledModel(QFile& file, QByteArray* expectedSha256);

/// Makes `written` (the file the runtime wrote) the compiled model at `path`: its checksum
/// beside it, then the file renamed into place; other compiled models in the folder are removed.
/// Returns false, leaving nothing behind, when that fails.
bool keepCompiledModel(const QString& written, const QString& path);

/// Removes the compiled model at `path` and its checksum file.
void dropCompiledModel(const QString& path);

/// SHA-256 of `data` in lower-case hex; empty if the digest fails.
[[nodiscard]] QByteArray sha256Hex(const QByteArray& data);

/// The checksum written beside `path` ("<hex>  <name>", as sha256sum writes it), lower case;
/// empty when there is none.
[[nodiscard]] QByteArray expectedChecksum(const QString& path);

} // namespace lumora
