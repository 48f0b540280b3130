#include "cutout/SegmentationModel.h"

#include <QDir>

namespace lumora {

QString segmentationModelPath()
{
    const QString override = qEnvironmentVariable("LUMORA_MODEL_PATH");
    if (!override.isEmpty())
        return override;
    // Not QStandardPaths: the set-up script computes the same folder from the same variables,
    // and QStandardPaths moves it in test mode.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/lumora-studio/models/isnet-%1-fp32.onnx").arg(kSegmentationInputSize);
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
                               "Bitte scripts/setup.sh ausführen.")
                    .arg(detail)};
    case segmentationErrors::modelUnusable:
        return {domain, code,
                QStringLiteral("Das Modell für die Freistellung ist beschädigt oder passt nicht (%1). "
                               "Bitte scripts/fetch-model.sh erneut ausführen.")
                    .arg(detail)};
    default:
        return {domain, segmentationErrors::failed,
                QStringLiteral("Die Freistellung ist fehlgeschlagen: %1").arg(detail)};
    }
}

} // namespace lumora
