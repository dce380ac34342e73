#pragma once

// The layout of a project file ("*.vln"), named once for the writer, the reader and the main
// window that applies what was read: which table line holds what, and which reader step reads
// it (a failure is reported with the context of its step).
//
// Table lines 1..34 are the fixed part. Anything after line 34 is an extension line: the writer
// appends the ones it is handed after line 34, the reader hands back every file line after the
// 34th as ProjectRecord::extensionLines. New kinds of saved data go there, never between the
// fixed lines, so older files and older readers keep working.

namespace vorlan::project {

/// Table lines of the fixed part.
namespace line {
inline constexpr int Name1 = 1;       ///< file name of picture 1; lines 2-8 its block
inline constexpr int Name2 = 9;       ///< file name of picture 2; lines 10-16 its block
inline constexpr int StarRA1 = 17;    ///< star 1 right ascension, degrees x 10000 ("no" when off)
inline constexpr int StarDec1 = 18;   ///< star 1 declination
inline constexpr int StarRA2 = 19;    ///< star 2 right ascension
inline constexpr int StarDec2 = 20;   ///< star 2 declination
inline constexpr int Point2X1 = 21;   ///< point 2 of picture 1, x; line 22 its y
inline constexpr int Point2X2 = 23;   ///< point 2 of picture 2, x; line 24 its y
inline constexpr int MarkScale1 = 25; ///< mark scale of picture 1
inline constexpr int MarkScale2 = 26; ///< mark scale of picture 2
inline constexpr int Name3 = 27;      ///< file name of picture 3; lines 28-34 its block
inline constexpr int Last = 34;       ///< the last fixed line; extension lines follow it
} // namespace line

/// Place of a value in a picture block, counted from its name line.
enum BlockOffset { Top = 1, Left, Point1X, Point1Y, Width, Height, Scale, BlockSize = Scale };

/// The name line of the picture block of slot k (1..3).
constexpr int nameLine(int k) {
    return k == 1 ? line::Name1 : k == 2 ? line::Name2 : line::Name3;
}
/// The x line of point 2 of slot k (1..2); its y line follows.
constexpr int point2XLine(int k) {
    return k == 1 ? line::Point2X1 : line::Point2X2;
}

/// Reader steps: the step whose failures a line's failure is shown with.
namespace step {
inline constexpr int OpenFile = 5;    ///< the file itself cannot be opened
inline constexpr int Stars = 17;      ///< lines 17-20
inline constexpr int Solution = 21;   ///< the plate solution from the stars and points
inline constexpr int MarkScales = 24; ///< lines 25-26
/// The step reading the name line of slot k.
constexpr int name(int k) {
    return k == 1 ? 6 : k == 2 ? 8 : 26;
}
/// The step reading lines 2-8 of slot k's block.
constexpr int block(int k) {
    return k == 1 ? 7 : k == 2 ? 9 : 27;
}
/// The step showing the picture of slot k.
constexpr int show(int k) {
    return k == 1 ? 11 : k == 2 ? 13 : 28;
}
/// The step reading point 2 of slot k (1..2).
constexpr int point2(int k) {
    return Stars + k;
}
/// The overlay after pictures 1 and 2 (14) or after picture 3 (29).
constexpr int overlay(bool third) {
    return third ? 29 : 14;
}
/// The scale bars after pictures 1 and 2 (15) or after picture 3 (30).
constexpr int sliders(bool third) {
    return third ? 30 : 15;
}
/// The error context begins to name the missing second picture here, the third one here.
inline constexpr int SecondPictureContext = 12;
inline constexpr int ThirdPictureContext = 25;
/// The extension lines, read once the table is applied: their failures have no context, since
/// they belong to no picture block.
inline constexpr int Extension = 35;
} // namespace step

/// The reader step that reads table line `l` of the fixed part.
constexpr int stepOfLine(int l) {
    if (l == line::Name1) return step::name(1);
    if (l < line::Name2) return step::block(1);
    if (l == line::Name2) return step::name(2);
    if (l < line::StarRA1) return step::block(2);
    if (l < line::Point2X1) return step::Stars;
    if (l < line::Point2X2) return step::point2(1);
    if (l < line::MarkScale1) return step::point2(2);
    if (l < line::Name3) return step::MarkScales;
    if (l == line::Name3) return step::name(3);
    return step::block(3);
}

} // namespace vorlan::project
