#include "cli/EditsJson.h"

#include "base/RegularFile.h"
#include "pipeline/Overlays.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace lumora {

namespace {

/// Walks a JSON document and remembers the first problem.
class Reader {
public:
    QString problem;

    double number(const QJsonObject& object, const char* key, double fallback)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return fallback;
        if (!value.isDouble())
            fail(QStringLiteral("„%1“ muss eine Zahl sein").arg(QLatin1String(key)));
        return value.toDouble(fallback);
    }

    bool boolean(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isBool())
            fail(QStringLiteral("„%1“ muss true oder false sein").arg(QLatin1String(key)));
        return value.toBool(false);
    }

    QString string(const QJsonObject& object, const char* key, const QString& fallback = {})
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return fallback;
        if (!value.isString())
            fail(QStringLiteral("„%1“ muss ein Text sein").arg(QLatin1String(key)));
        return value.toString(fallback);
    }

    QList<double> numbers(const QJsonValue& value, qsizetype count, const QString& what)
    {
        QList<double> result;
        const QJsonArray array = value.toArray();
        if (!value.isArray() || array.size() != count) {
            fail(QStringLiteral("„%1“ muss eine Liste aus %2 Zahlen sein").arg(what).arg(count));
            return QList<double>(count, 0.0);
        }
        for (const QJsonValue& item : array) {
            if (!item.isDouble())
                fail(QStringLiteral("„%1“ muss eine Liste aus %2 Zahlen sein").arg(what).arg(count));
            result.append(item.toDouble());
        }
        return result;
    }

    QPointF point(const QJsonObject& object, const char* key)
    {
        const QList<double> xy = numbers(object.value(QLatin1String(key)), 2, QLatin1String(key));
        return {xy[0], xy[1]};
    }

    QList<QPointF> points(const QJsonObject& object)
    {
        QList<QPointF> result;
        const QJsonValue value = object.value(QLatin1String("points"));
        if (!value.isArray()) {
            fail(QStringLiteral("„points“ muss eine Liste von Punkten sein"));
            return result;
        }
        for (const QJsonValue& item : value.toArray()) {
            const QList<double> xy = numbers(item, 2, QStringLiteral("points"));
            result.append({xy[0], xy[1]});
        }
        return result;
    }

    QJsonArray array(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isArray())
            fail(QStringLiteral("„%1“ muss eine Liste sein").arg(QLatin1String(key)));
        return value.toArray();
    }

    QJsonObject object(const QJsonValue& value, const QString& what)
    {
        if (!value.isObject())
            fail(QStringLiteral("„%1“ muss ein Objekt sein").arg(what));
        return value.toObject();
    }

    void fail(const QString& text)
    {
        if (problem.isEmpty())
            problem = text;
    }
};

AdjustmentState readAdjustment(Reader& in, const QJsonObject& o)
{
    AdjustmentState a;
    a.exposure = in.number(o, "exposure", a.exposure);
    a.brightness = in.number(o, "brightness", a.brightness);
    a.contrast = in.number(o, "contrast", a.contrast);
    a.saturation = in.number(o, "saturation", a.saturation);
    a.sharpness = in.number(o, "sharpness", a.sharpness);
    return a;
}

Watermark readWatermark(Reader& in, const QJsonObject& o)
{
    Watermark w;
    w.text = in.string(o, "text");
    const QString raw = in.string(o, "position", rawValue(w.position));
    if (auto position = watermarkPositionFromRaw(raw))
        w.position = *position;
    else
        in.fail(QStringLiteral("unbekannte Wasserzeichen-Position „%1“").arg(raw));
    w.opacity = in.number(o, "opacity", w.opacity);
    w.sizeFactor = in.number(o, "sizeFactor", w.sizeFactor);
    w.colorHex = in.string(o, "colorHex", w.colorHex);
    return w;
}

std::optional<Overlay> readOverlay(Reader& in, const QJsonObject& o, QSize size)
{
    const QString kind = in.string(o, "kind");
    const QString color = in.string(o, "colorHex");
    if (kind == QLatin1String("stroke"))
        return rasterizeStroke(in.points(o), color, size, in.number(o, "lineWidth", 8));
    if (kind == QLatin1String("area"))
        return rasterizeFilledArea(in.points(o), color, size);
    if (kind == QLatin1String("arrow")) {
        const Arrow arrow{in.point(o, "start"), in.number(o, "angle", 0), in.number(o, "length", 160),
                          in.number(o, "lineWidth", 8), color};
        return rasterizeArrow(arrow, size);
    }
    in.fail(QStringLiteral("unbekannte Overlay-Art „%1“ (stroke, area oder arrow)").arg(kind));
    return std::nullopt;
}

} // namespace

std::expected<EditState, QString> editStateFromJson(const QByteArray& json, QSize originalSize)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return std::unexpected(
            QStringLiteral("Ungültiges JSON an Position %1: %2").arg(parseError.offset).arg(parseError.errorString()));
    if (!document.isObject())
        return std::unexpected(QStringLiteral("Die Bearbeitungen müssen ein JSON-Objekt sein."));
    const QJsonObject root = document.object();
    Reader in;
    EditState edits;
    if (root.contains(QLatin1String("adjustment")))
        edits.adjustment =
            readAdjustment(in, in.object(root.value(QLatin1String("adjustment")), QStringLiteral("adjustment")));
    edits.rotation = in.number(root, "rotation", 0);
    edits.flippedH = in.boolean(root, "flippedH");
    edits.flippedV = in.boolean(root, "flippedV");
    if (root.contains(QLatin1String("watermark")) && !root.value(QLatin1String("watermark")).isNull())
        edits.watermark =
            readWatermark(in, in.object(root.value(QLatin1String("watermark")), QStringLiteral("watermark")));
    for (const QJsonValue& item : in.array(root, "masks")) {
        const QJsonObject o = in.object(item, QStringLiteral("masks"));
        const QList<double> r = in.numbers(o.value(QLatin1String("rect")), 4, QStringLiteral("rect"));
        edits.masks.append(MaskRect{QRectF(r[0], r[1], r[2], r[3]), in.string(o, "colorHex")});
    }
    for (const QJsonValue& item : in.array(root, "freehandOverlays")) {
        if (auto overlay = readOverlay(in, in.object(item, QStringLiteral("freehandOverlays")), originalSize))
            edits.freehandOverlays.append(*overlay);
    }
    for (const QJsonValue& item : in.array(root, "textMarks")) {
        const QJsonObject o = in.object(item, QStringLiteral("textMarks"));
        TextMark mark;
        mark.position = in.point(o, "position");
        mark.text = in.string(o, "text");
        mark.fontSize = in.number(o, "fontSize", 40);
        mark.colorHex = in.string(o, "colorHex");
        mark.hasBackground = in.boolean(o, "hasBackground");
        edits.textMarks.append(mark);
    }
    if (!in.problem.isEmpty())
        return std::unexpected(QStringLiteral("Ungültige Bearbeitungen: ") + in.problem);
    return edits;
}

std::expected<QByteArray, QString> readEditsFile(const QString& path)
{
    auto bytes = readRegularFile(path, kMaxEditsFileBytes);
    if (!bytes)
        return std::unexpected(bytes.error().description);
    return std::move(*bytes);
}

} // namespace lumora
