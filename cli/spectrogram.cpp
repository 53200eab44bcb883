#include "cli/spectrogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include "cli/errors.h"

namespace aurelix::cli {
namespace {

// Viridis (CC0), every 16th of its 256 entries and the last.
constexpr uint8_t kViridis[17][3] = {
    {68, 1, 84},    {72, 24, 106},  {71, 45, 123},  {66, 64, 134},  {59, 82, 139},  {51, 99, 141},
    {44, 114, 142}, {38, 130, 142}, {33, 145, 140}, {31, 160, 136}, {40, 174, 128}, {63, 188, 115},
    {94, 201, 98},  {132, 212, 75}, {173, 220, 48}, {216, 226, 25}, {253, 231, 37}};

constexpr int kWidth = 960;
constexpr int kHeight = 520;
constexpr double kLeft = 78, kRight = 110, kTop = 40, kBottom = 58;
constexpr double kRangeDb = 90.0;
constexpr int kMaxImageColumns = 2400;

// Tick positions: a step of 1, 2 or 5 times a power of ten, about `count` of them.
std::vector<double> Ticks(double low, double high, int count) {
    const double raw = (high - low) / std::max(count, 1);
    if (!(raw > 0)) {
        return {low};
    }
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= factor * power) {
            step = factor * power;
            break;
        }
    }
    std::vector<double> ticks;
    for (double value = std::ceil(low / step) * step; value <= high + step * 1e-9; value += step) {
        ticks.push_back(std::abs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void Text(cairo_t* cr, double x, double y, const std::string& text, double alignX, double alignY) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - extents.width * alignX - extents.x_bearing,
                  y - extents.height * alignY - extents.y_bearing);
    cairo_show_text(cr, text.c_str());
}

}  // namespace

void Viridis(double t, uint8_t& red, uint8_t& green, uint8_t& blue) {
    const double at = std::clamp(std::isnan(t) ? 0.0 : t, 0.0, 1.0) * 16.0;
    const int i = std::min(int(at), 15);
    const double f = at - i;
    auto mix = [&](int channel) {
        return uint8_t(std::lround(kViridis[i][channel] * (1 - f) + kViridis[i + 1][channel] * f));
    };
    red = mix(0);
    green = mix(1);
    blue = mix(2);
}

void Spectrogram::Add(const BlockResult& block) {
    std::vector<float> column = block.spectrum.value_or(std::vector<float>{});
    if (block.spectrumRight) {
        column.resize(std::max(column.size(), block.spectrumRight->size()));
        for (size_t i = 0; i < block.spectrumRight->size(); ++i) {
            column[i] = std::max(column[i], (*block.spectrumRight)[i]);
        }
    }
    columns_.push_back(std::move(column));
    dominant_.push_back(block.maxFrequency[0]);
}

void Spectrogram::Write(const std::string& path, int32_t rate, int32_t samples,
                        const std::string& title) const {
    const double seconds = double(columns_.size()) * samples / rate;
    const double nyquist = rate / 2.0;
    size_t bins = 0;
    float loudest = 0.0f;
    for (const auto& column : columns_) {
        bins = std::max(bins, column.size());
        for (float magnitude : column) {
            loudest = std::max(loudest, magnitude);
        }
    }
    const double topDb = 20.0 * std::log10(std::max(loudest, 1e-3f));
    const double floorDb = topDb - kRangeDb;

    // The image: one column per block (the loudest of neighbours when there are more than
    // kMaxImageColumns), one row per bin, the lowest frequency at the bottom.
    const int imageColumns = int(std::clamp<size_t>(columns_.size(), 1, kMaxImageColumns));
    const int imageRows = int(std::max<size_t>(bins, 1));
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, imageColumns, imageRows);
    cairo_surface_flush(image);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int x = 0; x < imageColumns; ++x) {
        const size_t first = size_t(x) * columns_.size() / size_t(imageColumns);
        const size_t last =
            std::max(first + 1, size_t(x + 1) * columns_.size() / size_t(imageColumns));
        for (int row = 0; row < imageRows; ++row) {
            float magnitude = 0.0f;
            for (size_t c = first; c < last && c < columns_.size(); ++c) {
                if (size_t(row) < columns_[c].size()) {
                    magnitude = std::max(magnitude, columns_[c][size_t(row)]);
                }
            }
            const double db = magnitude > 0 ? 20.0 * std::log10(magnitude) : floorDb;
            uint8_t r, g, b;
            Viridis((db - floorDb) / kRangeDb, r, g, b);
            auto* pixel = reinterpret_cast<uint32_t*>(pixels + (imageRows - 1 - row) * stride) + x;
            *pixel = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
        }
    }
    cairo_surface_mark_dirty(image);

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;

    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop, plotW, plotH);
    cairo_clip(cr);
    cairo_translate(cr, kLeft, kTop);
    cairo_scale(cr, plotW / imageColumns, plotH / imageRows);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);

    // The dominant-frequency track: a white line with a dark edge, broken where a block
    // has none (silence, or below the threshold).
    auto toX = [&](double t) { return kLeft + (seconds > 0 ? t / seconds : 0) * plotW; };
    auto toY = [&](double hz) { return kTop + plotH - (hz / nyquist) * plotH; };
    const double blockSeconds = double(samples) / rate;
    for (int pass = 0; pass < 2; ++pass) {
        cairo_new_path(cr);
        bool drawing = false;
        for (size_t i = 0; i < dominant_.size(); ++i) {
            if (dominant_[i] <= 0) {
                drawing = false;
                continue;
            }
            const double x = toX((double(i) + 0.5) * blockSeconds), y = toY(dominant_[i]);
            if (drawing) {
                cairo_line_to(cr, x, y);
            } else {
                cairo_move_to(cr, x, y);
                cairo_line_to(cr, x + 0.01, y);
                drawing = true;
            }
        }
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        if (pass == 0) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
            cairo_set_line_width(cr, 4.0);
        } else {
            cairo_set_source_rgb(cr, 1, 0.35, 0.25);
            cairo_set_line_width(cr, 2.0);
        }
        cairo_stroke(cr);
    }

    // Frame, ticks and labels.
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, plotW - 1, plotH - 1);
    cairo_stroke(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    for (double t : Ticks(0, seconds, 10)) {
        const double x = std::round(toX(t)) + 0.5;
        cairo_move_to(cr, x, kTop + plotH);
        cairo_line_to(cr, x, kTop + plotH + 5);
        cairo_stroke(cr);
        Text(cr, x, kTop + plotH + 9, Number(t), 0.5, 0.0);
    }
    for (double hz : Ticks(0, nyquist, 8)) {
        const double y = std::round(toY(hz)) + 0.5;
        cairo_move_to(cr, kLeft - 5, y);
        cairo_line_to(cr, kLeft, y);
        cairo_stroke(cr);
        Text(cr, kLeft - 8, y, Number(hz), 1.0, 0.5);
    }
    cairo_set_font_size(cr, 13);
    Text(cr, kLeft + plotW / 2, kHeight - 8, "time (s)", 0.5, 1.0);
    cairo_save(cr);
    cairo_translate(cr, 16, kTop + plotH / 2);
    cairo_rotate(cr, -M_PI / 2);
    Text(cr, 0, 0, "frequency (Hz)", 0.5, 0.5);
    cairo_restore(cr);
    cairo_set_font_size(cr, 14);
    Text(cr, kLeft, kTop - 14, title, 0.0, 0.5);

    // The colour bar, in dB of the spectrum magnitude.
    const double barX = kLeft + plotW + 22, barW = 16;
    for (int y = 0; y < int(plotH); ++y) {
        uint8_t r, g, b;
        Viridis(1.0 - double(y) / plotH, r, g, b);
        cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
        cairo_rectangle(cr, barX, kTop + y, barW, 1);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_rectangle(cr, barX + 0.5, kTop + 0.5, barW - 1, plotH - 1);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11);
    for (double db : Ticks(floorDb, topDb, 6)) {
        const double y = std::round(kTop + plotH - (db - floorDb) / kRangeDb * plotH) + 0.5;
        cairo_move_to(cr, barX + barW, y);
        cairo_line_to(cr, barX + barW + 4, y);
        cairo_stroke(cr);
        Text(cr, barX + barW + 6, y, Number(db), 0.0, 0.5);
    }
    cairo_save(cr);
    cairo_translate(cr, kWidth - 12, kTop + plotH / 2);
    cairo_rotate(cr, -M_PI / 2);
    Text(cr, 0, 0, "magnitude (dB)", 0.5, 0.5);
    cairo_restore(cr);

    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    cairo_surface_destroy(image);
    // Font caches go with the picture, so that leak checkers see none at exit.
    cairo_debug_reset_static_data();
    FcFini();
    if (status != CAIRO_STATUS_SUCCESS) {
        throw CommandError(path + ": cannot write the spectrogram (" +
                           cairo_status_to_string(status) + ")");
    }
}

}  // namespace aurelix::cli
