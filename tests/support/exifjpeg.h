#pragma once

// A JPEG as a camera writes it: a small picture with an EXIF segment (APP1) right after the start
// marker, holding the time stamp entries the observation time is read from. Built with libexif.

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <cstdlib>
#include <cstring>
#include <libexif/exif-data.h>
#include <optional>

namespace vorlan::test {

/// The entries of the EXIF folder; each one left out when empty.
struct CameraStamp {
    QByteArray dateTimeOriginal; ///< "YYYY:MM:DD hh:mm:ss"
    QByteArray subSecTimeOriginal;
    std::optional<ExifRational> exposureTime; ///< seconds
};

inline void addExifEntry(ExifData* data, ExifTag tag, ExifFormat format, const QByteArray& bytes) {
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = format;
    e->size = unsigned(bytes.size());
    e->components = format == EXIF_FORMAT_ASCII ? e->size : 1;
    e->data = static_cast<unsigned char*>(std::malloc(e->size)); // freed by libexif's default allocator
    std::memcpy(e->data, bytes.constData(), e->size);
    exif_content_add_entry(data->ifd[EXIF_IFD_EXIF], e);
    exif_entry_unref(e);
}

/// Writes picture (a flat 16 x 16 one when null) as a JPEG to path with stamp in its EXIF; with no
/// entry at all, no EXIF segment.
inline bool writeJpegWithExif(const QString& path, const CameraStamp& stamp, QImage picture = {}) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (picture.isNull()) {
        picture = QImage(16, 16, QImage::Format_Grayscale8);
        picture.fill(40);
    }
    picture.save(&buffer, "JPEG", 95);
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION); // no entries made up
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    for (const auto& [tag, text] : {std::pair{EXIF_TAG_DATE_TIME_ORIGINAL, &stamp.dateTimeOriginal},
                                    std::pair{EXIF_TAG_SUB_SEC_TIME_ORIGINAL, &stamp.subSecTimeOriginal}})
        if (!text->isEmpty()) addExifEntry(data, tag, EXIF_FORMAT_ASCII, *text + '\0'); // ends in a zero byte
    if (stamp.exposureTime) {
        QByteArray rational(8, '\0');
        exif_set_rational(reinterpret_cast<unsigned char*>(rational.data()), EXIF_BYTE_ORDER_INTEL,
                          *stamp.exposureTime);
        addExifEntry(data, EXIF_TAG_EXPOSURE_TIME, EXIF_FORMAT_RATIONAL, rational);
    }
    if (data->ifd[EXIF_IFD_EXIF]->count > 0) {
        unsigned char* app1 = nullptr; // "Exif\0\0" and the TIFF structure
        unsigned int size = 0;
        exif_data_save_data(data, &app1, &size);
        const char length[2] = {char((size + 2) >> 8), char((size + 2) & 0xff)};
        jpeg.insert(2, QByteArray("\xFF\xE1") + QByteArray(length, 2) +
                           QByteArray(reinterpret_cast<const char*>(app1), qsizetype(size)));
        std::free(app1);
    }
    exif_data_unref(data);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size();
}

} // namespace vorlan::test
