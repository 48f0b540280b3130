#pragma once

// Internal to the decoding and encoding .cpp files: libvips start-up and small RAII helpers.
// Never include from a public header (libvips pulls in GLib).

#include <vips/vips.h>

#include <QString>

namespace lumora::vips {

/// Starts libvips once per process (thread-safe) with its operation cache off, so decoded
/// pixels are never kept alive behind our back.
void ensureStarted();

/// Loads libvips' HEIF module when libvips was started without its modules (see
/// loadOnlyUsedDecoders in SourceImage.h); once per process, thread-safe. Without it, a HEIF
/// photo fails to decode as it would without the module installed.
void ensureHeifModule();

/// Owns one reference to a VipsImage.
class Ref {
public:
    Ref() = default;
    explicit Ref(VipsImage* image) : m_image(image) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : m_image(other.m_image) { other.m_image = nullptr; }
    Ref& operator=(Ref&& other) noexcept
    {
        std::swap(m_image, other.m_image);
        return *this;
    }
    ~Ref()
    {
        if (m_image)
            g_object_unref(m_image);
    }

    VipsImage* get() const { return m_image; }
    VipsImage** out()
    {
        reset();
        return &m_image;
    }
    void reset()
    {
        if (m_image)
            g_object_unref(m_image);
        m_image = nullptr;
    }
    explicit operator bool() const { return m_image != nullptr; }

private:
    VipsImage* m_image = nullptr;
};

/// The text libvips left in its error buffer (first line), which is then cleared.
QString takeError();

} // namespace lumora::vips
