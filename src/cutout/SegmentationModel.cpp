#include "cutout/SegmentationModel.h"

#include "cutout/CompiledModel.h"

#include <QDir>
#include <QFileInfo>

namespace lumora {

QString segmentationModelPath()
{
    return segmentationModelPath(QStringLiteral(LUMORA_PACKAGED_MODEL_DIR));
}

QString segmentationModelPath(const QString& packagedFolder)
{
    const QString override = qEnvironmentVariable("LUMORA_MODEL_PATH");
    if (!override.isEmpty())
        return override;
    const QString file = QStringLiteral("isnet-%1-fp32.onnx").arg(kSegmentationInputSize);
    const QString fetched = lumoraCacheFolder() + QStringLiteral("/models/") + file;
    // The user's own model wins over the package's, as a user's data wins over the system's.
    if (QFileInfo::exists(fetched))
        return fetched;
    const QString packaged = QDir(packagedFolder).filePath(file);
    if (QFileInfo::exists(packaged))
        return packaged;
    return fetched;
}

QString quantisedModelPath(const QString& floatModel)
{
    QString stem = floatModel.endsWith(QLatin1String(".onnx")) ? floatModel.chopped(5) : floatModel;
    if (stem.endsWith(QLatin1String("-fp32")))
        stem.chop(5);
    return stem + QStringLiteral("-int8.onnx");
}

Error segmentationError(segmentationErrors::Code code, const QString& detail)
{
    const QString domain = segmentationErrors::domain;
    switch (code) {
    case segmentationErrors::noSubject:
        return {domain, code, QStringLiteral("Kein Motiv erkannt. Bitte ein anderes Bild verwenden.")};
    case segmentationErrors::modelMissing:
        return {domain, code,
                QStringLiteral("Das Modell für die Freistellung ist nicht installiert (%1). "
                               "Bitte das Paket lumora-studio-model installieren oder scripts/setup.sh ausführen.")
                    .arg(detail)};
    case segmentationErrors::modelUnusable:
        return {domain, code,
                QStringLiteral("Das Modell für die Freistellung ist beschädigt oder passt nicht (%1). "
                               "Bitte scripts/fetch-model.sh erneut ausführen oder das Paket lumora-studio-model "
                               "neu installieren.")
                    .arg(detail)};
    default:
        return {domain, segmentationErrors::failed,
                QStringLiteral("Die Freistellung ist fehlgeschlagen: %1").arg(detail)};
    }
}

} // namespace lumora
