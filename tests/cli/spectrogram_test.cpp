#include <gtest/gtest.h>

#include <array>

#include <cairo.h>

#include "cli/spectrogram.h"
#include "support/temp_folder.h"

namespace aurelix::cli {
namespace {

// The colour map's ends and middle are viridis' published colours.
TEST(Spectrogram, ViridisAtItsEndsAndMiddle) {
    const std::pair<double, std::array<uint8_t, 3>> colours[] = {
        {0.0, {68, 1, 84}}, {0.5, {33, 145, 140}}, {1.0, {253, 231, 37}}, {-1.0, {68, 1, 84}}};
    for (const auto& [t, expected] : colours) {
        std::array<uint8_t, 3> rgb{};
        Viridis(t, rgb[0], rgb[1], rgb[2]);
        EXPECT_EQ(rgb, expected) << t;
    }
}

// A steady tone: the picture is a PNG whose middle column carries the dominant-frequency
// track once, in the lower half for a tone below a quarter of the rate.
TEST(Spectrogram, ToneDrawsItsTrackAcrossThePicture) {
    testing::TempFolder folder;
    BlockResult tone;
    tone.spectrum = std::vector<float>(512, 1.0f);
    (*tone.spectrum)[100] = 5000.0f;
    tone.maxFrequency[0] = 100 * 8000.0 / 1024;
    Spectrogram spectrogram;
    for (int block = 1; block <= 40; ++block) {
        spectrogram.Add(tone);
    }
    const std::string png = folder / "tone.png";
    spectrogram.Write(png, 8000, 1024, "tone");
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const int height = cairo_image_surface_get_height(image);
    const unsigned char* middle =
        cairo_image_surface_get_data(image) + cairo_image_surface_get_width(image) / 2 * 4;
    std::vector<int> trackRows;
    for (int y = 0; y < height; ++y) {
        const uint32_t pixel =
            *reinterpret_cast<const uint32_t*>(middle + y * cairo_image_surface_get_stride(image));
        if ((pixel >> 16 & 0xFF) > 200 && (pixel >> 8 & 0xFF) < 140 && (pixel & 0xFF) < 120) {
            trackRows.push_back(y);
        }
    }
    cairo_surface_destroy(image);
    ASSERT_FALSE(trackRows.empty());
    EXPECT_LE(trackRows.back() - trackRows.front(), 3);  // one line, 2 px wide
    EXPECT_GT(trackRows.front(), height / 2);
}

}  // namespace
}  // namespace aurelix::cli
