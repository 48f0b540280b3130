#include "pipeline/EditsJson.h"

#include "base/RegularFile.h"
#include "pipeline/Overlays.h"

#include "pipeline/SourceImage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

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
        if (!value.isDouble() || !std::isfinite(value.toDouble())) {
            fail(QStringLiteral("„%1“ muss eine Zahl sein").arg(QLatin1String(key)));
            return fallback;
        }
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
        if (value.toString().size() > kMaxEditsTextLength) {
            fail(QStringLiteral("„%1“ ist länger als %2 Zeichen").arg(QLatin1String(key)).arg(kMaxEditsTextLength));
            return fallback;
        }
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
            if (!item.isDouble() || !std::isfinite(item.toDouble())) {
                fail(QStringLiteral("„%1“ muss eine Liste aus %2 Zahlen sein").arg(what).arg(count));
                return QList<double>(count, 0.0);
            }
            result.append(item.toDouble());
        }
        return result;
    }

    QPointF point(const QJsonObject& object, const char* key)
    {
        const QList<double> xy = numbers(object.value(QLatin1String(key)), 2, QLatin1String(key));
        return {xy[0], xy[1]};
    }

    QList<QPointF> points(const QJsonObject& object, qsizetype maxCount)
    {
        QList<QPointF> result;
        const QJsonValue value = object.value(QLatin1String("points"));
        if (!value.isArray()) {
            fail(QStringLiteral("„points“ muss eine Liste von Punkten sein"));
            return result;
        }
        if (value.toArray().size() > maxCount) {
            fail(QStringLiteral("„points“ hat mehr als %1 Punkte").arg(maxCount));
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
        if (value.toArray().size() > kMaxEditsEntries) {
            fail(QStringLiteral("„%1“ hat mehr als %2 Einträge").arg(QLatin1String(key)).arg(kMaxEditsEntries));
            return {};
        }
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

/// The canvas an overlay was committed on: "canvasSize" when given, else the original's size.
QSize readCanvasSize(Reader& in, const QJsonObject& o, QSize originalSize)
{
    if (!o.contains(QLatin1String("canvasSize")))
        return originalSize;
    const QList<double> wh = in.numbers(o.value(QLatin1String("canvasSize")), 2, QStringLiteral("canvasSize"));
    const double pixels = wh[0] * wh[1];
    if (!(wh[0] >= 1 && wh[1] >= 1 && pixels <= double(SourceImage::kMaxPixels)) || wh[0] != std::floor(wh[0])
        || wh[1] != std::floor(wh[1])) {
        in.fail(QStringLiteral("„canvasSize“ ist keine mögliche Bildgröße"));
        return originalSize;
    }
    return QSize(int(wh[0]), int(wh[1]));
}

/// A shape exactly as it was committed (written by editStateToJson).
std::optional<Overlay> readCommittedOverlay(Reader& in, const QJsonObject& o, QSize originalSize)
{
    const QString kind = in.string(o, "kind");
    const QString color = in.string(o, "colorHex");
    const QSize canvas = readCanvasSize(in, o, originalSize);
    if (kind == QLatin1String("stroke")) {
        QList<QPointF> points = in.points(o, kMaxStrokePoints);
        const double width = in.number(o, "lineWidth", 8);
        return Overlay{StrokeShape{std::move(points), color, width}, canvas};
    }
    if (kind == QLatin1String("area"))
        return Overlay{AreaShape{in.points(o, kMaxAreaPoints), color}, canvas};
    if (kind == QLatin1String("arrow")) {
        const Arrow arrow{in.point(o, "start"), in.number(o, "angle", 0), in.number(o, "length", 160),
                          in.number(o, "lineWidth", 8), color};
        return Overlay{arrow, canvas};
    }
    in.fail(QStringLiteral("unbekannte Overlay-Art „%1“ (stroke, area oder arrow)").arg(kind));
    return std::nullopt;
}

/// A shape of a hand-written file, committed as the editor commits a drawing.
std::optional<Overlay> readOverlay(Reader& in, const QJsonObject& o, QSize originalSize, EditsSource source)
{
    if (source == EditsSource::written)
        return readCommittedOverlay(in, o, originalSize);
    // A file of 16 MB holds fewer points than this; the commit simplifies them.
    constexpr qsizetype kMaxInputPoints = 2'000'000;
    const QString kind = in.string(o, "kind");
    const QString color = in.string(o, "colorHex");
    const QSize size = readCanvasSize(in, o, originalSize);
    if (kind == QLatin1String("stroke"))
        return rasterizeStroke(in.points(o, kMaxInputPoints), color, size, in.number(o, "lineWidth", 8));
    if (kind == QLatin1String("area"))
        return rasterizeFilledArea(in.points(o, kMaxInputPoints), color, size);
    if (kind == QLatin1String("arrow")) {
        const Arrow arrow{in.point(o, "start"), in.number(o, "angle", 0), in.number(o, "length", 160),
                          in.number(o, "lineWidth", 8), color};
        return rasterizeArrow(arrow, size);
    }
    in.fail(QStringLiteral("unbekannte Overlay-Art „%1“ (stroke, area oder arrow)").arg(kind));
    return std::nullopt;
}

TextMark readTextMark(Reader& in, const QJsonObject& o)
{
    TextMark mark;
    if (o.contains(QLatin1String("id"))) {
        const QUuid id = QUuid::fromString(in.string(o, "id"));
        if (id.isNull())
            in.fail(QStringLiteral("„id“ muss eine UUID sein"));
        mark.id = id;
    }
    mark.position = in.point(o, "position");
    mark.text = in.string(o, "text");
    mark.fontSize = in.number(o, "fontSize", 40);
    mark.colorHex = in.string(o, "colorHex");
    mark.hasBackground = in.boolean(o, "hasBackground");
    return mark;
}

// --- writing ---

QJsonArray pointJson(QPointF p)
{
    return QJsonArray{p.x(), p.y()};
}

QJsonArray pointsJson(const QList<QPointF>& points)
{
    QJsonArray array;
    for (const QPointF& p : points)
        array.append(pointJson(p));
    return array;
}

QJsonObject adjustmentJson(const AdjustmentState& a)
{
    return QJsonObject{{QStringLiteral("exposure"), a.exposure},
                       {QStringLiteral("brightness"), a.brightness},
                       {QStringLiteral("contrast"), a.contrast},
                       {QStringLiteral("saturation"), a.saturation},
                       {QStringLiteral("sharpness"), a.sharpness}};
}

QJsonObject watermarkJson(const Watermark& w)
{
    return QJsonObject{{QStringLiteral("text"), w.text},
                       {QStringLiteral("position"), rawValue(w.position)},
                       {QStringLiteral("opacity"), w.opacity},
                       {QStringLiteral("sizeFactor"), w.sizeFactor},
                       {QStringLiteral("colorHex"), w.colorHex}};
}

QJsonObject overlayJson(const Overlay& overlay)
{
    QJsonObject o;
    if (const auto* stroke = std::get_if<StrokeShape>(&overlay.shape)) {
        o = {{QStringLiteral("kind"), QStringLiteral("stroke")},
             {QStringLiteral("points"), pointsJson(stroke->points)},
             {QStringLiteral("colorHex"), stroke->colorHex},
             {QStringLiteral("lineWidth"), stroke->lineWidth}};
    } else if (const auto* area = std::get_if<AreaShape>(&overlay.shape)) {
        o = {{QStringLiteral("kind"), QStringLiteral("area")},
             {QStringLiteral("points"), pointsJson(area->points)},
             {QStringLiteral("colorHex"), area->colorHex}};
    } else {
        const Arrow& arrow = std::get<Arrow>(overlay.shape);
        o = {{QStringLiteral("kind"), QStringLiteral("arrow")},
             {QStringLiteral("start"), pointJson(arrow.start)},
             {QStringLiteral("angle"), arrow.angle},
             {QStringLiteral("length"), arrow.length},
             {QStringLiteral("lineWidth"), arrow.lineWidth},
             {QStringLiteral("colorHex"), arrow.colorHex}};
    }
    o.insert(QStringLiteral("canvasSize"), QJsonArray{overlay.canvasSize.width(), overlay.canvasSize.height()});
    return o;
}

QJsonObject textMarkJson(const TextMark& mark)
{
    return QJsonObject{{QStringLiteral("id"), mark.id.toString(QUuid::WithoutBraces)},
                       {QStringLiteral("position"), pointJson(mark.position)},
                       {QStringLiteral("text"), mark.text},
                       {QStringLiteral("fontSize"), mark.fontSize},
                       {QStringLiteral("colorHex"), mark.colorHex},
                       {QStringLiteral("hasBackground"), mark.hasBackground}};
}

} // namespace

std::expected<EditState, QString> editStateFromJson(const QByteArray& json, QSize originalSize, EditsSource source)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return std::unexpected(
            QStringLiteral("Ungültiges JSON an Position %1: %2").arg(parseError.offset).arg(parseError.errorString()));
    if (!document.isObject())
        return std::unexpected(QStringLiteral("Die Bearbeitungen müssen ein JSON-Objekt sein."));
    return editStateFromJsonObject(document.object(), originalSize, source);
}

std::expected<EditState, QString> editStateFromJsonObject(const QJsonObject& root, QSize originalSize,
                                                          EditsSource source)
{
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
        const QJsonObject o = in.object(item, QStringLiteral("freehandOverlays"));
        if (auto overlay = readOverlay(in, o, originalSize, source))
            edits.freehandOverlays.append(*overlay);
    }
    for (const QJsonValue& item : in.array(root, "textMarks"))
        edits.textMarks.append(readTextMark(in, in.object(item, QStringLiteral("textMarks"))));
    if (!in.problem.isEmpty())
        return std::unexpected(QStringLiteral("Ungültige Bearbeitungen: ") + in.problem);
    return edits;
}

QJsonObject editStateToJson(const EditState& edits)
{
    QJsonObject root;
    if (!edits.adjustment.isNeutral())
        root.insert(QStringLiteral("adjustment"), adjustmentJson(edits.adjustment));
    if (edits.rotation != 0)
        root.insert(QStringLiteral("rotation"), edits.rotation);
    if (edits.flippedH)
        root.insert(QStringLiteral("flippedH"), true);
    if (edits.flippedV)
        root.insert(QStringLiteral("flippedV"), true);
    if (edits.watermark)
        root.insert(QStringLiteral("watermark"), watermarkJson(*edits.watermark));
    QJsonArray masks, overlays, marks;
    for (const MaskRect& mask : edits.masks)
        masks.append(QJsonObject{
            {QStringLiteral("rect"), QJsonArray{mask.rect.x(), mask.rect.y(), mask.rect.width(), mask.rect.height()}},
            {QStringLiteral("colorHex"), mask.colorHex}});
    for (const Overlay& overlay : edits.freehandOverlays)
        overlays.append(overlayJson(overlay));
    for (const TextMark& mark : edits.textMarks)
        marks.append(textMarkJson(mark));
    if (!masks.isEmpty())
        root.insert(QStringLiteral("masks"), masks);
    if (!overlays.isEmpty())
        root.insert(QStringLiteral("freehandOverlays"), overlays);
    if (!marks.isEmpty())
        root.insert(QStringLiteral("textMarks"), marks);
    return root;
}

std::expected<QByteArray, QString> readEditsFile(const QString& path)
{
    auto bytes = readRegularFile(path, kMaxEditsFileBytes);
    if (!bytes)
        return std::unexpected(bytes.error().description);
    return std::move(*bytes);
}

} // namespace lumora
