#include "Pictures.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Canvas.h"

namespace resgen {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// ---------------------------------------------------------------------------------------------
// Scene pieces. Houses are drawn in a 160 x 120 box and scaled to the picture.

constexpr double kSceneW = 160, kSceneH = 120;

void sky(cairo_t* cr, Color top, Color bottom) {
    cairo_rectangle(cr, 0, 0, kSceneW, kSceneH);
    fillVertical(cr, 0, kSceneH, top, bottom);
}

void ground(cairo_t* cr, double y, Color top, Color bottom) {
    cairo_rectangle(cr, 0, y, kSceneW, kSceneH - y);
    fillVertical(cr, y, kSceneH, top, bottom);
}

void cloud(cairo_t* cr, double x, double y, double s) {
    const double puffs[][3] = {{0, 0, 6}, {7, -3, 8}, {15, 0, 6}, {7, 2, 6}};
    for (auto& p : puffs) {
        ellipsePath(cr, x + p[0] * s, y + p[1] * s, p[2] * s * 1.2, p[2] * s);
    }
    fillColor(cr, {1, 1, 1, 0.92});
}

void sun(cairo_t* cr, double x, double y, double r) {
    cairo_arc(cr, x, y, r * 2.2, 0, 2 * M_PI);
    fillRadial(cr, x, y, r * 2.2, rgb(0xfff3b0, 0.8), rgb(0xfff3b0, 0));
    circle(cr, x, y, r, rgb(0xffd84a));
}

void stars(cairo_t* cr, int count, double maxY, unsigned seed) {
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double x = (seed >> 8) % 1600 / 10.0;
        seed = seed * 1103515245u + 12345u;
        const double y = (seed >> 8) % static_cast<unsigned>(maxY * 10) / 10.0;
        circle(cr, x, y, 0.35 + (i % 3) * 0.2, {1, 1, 0.9, 0.6 + (i % 4) * 0.1});
    }
}

void tree(cairo_t* cr, double x, double baseY, double s, Color leaves = rgb(0x3f9b3a)) {
    rect(cr, x - 1.2 * s, baseY - 8 * s, 2.4 * s, 8 * s, rgb(0x7a4e2a));
    ellipsePath(cr, x, baseY - 13 * s, 7 * s, 8 * s);
    fillRadial(cr, x - 2 * s, baseY - 16 * s, 10 * s, shade(leaves, 0.3), shade(leaves, -0.25));
}

void pine(cairo_t* cr, double x, double baseY, double s) {
    rect(cr, x - s, baseY - 4 * s, 2 * s, 4 * s, rgb(0x6b4226));
    for (int i = 0; i < 3; ++i) {
        const double y = baseY - 4 * s - i * 5 * s;
        cairo_move_to(cr, x - (8 - i * 2) * s, y);
        cairo_line_to(cr, x + (8 - i * 2) * s, y);
        cairo_line_to(cr, x, y - 9 * s);
        cairo_close_path(cr);
    }
    fillVertical(cr, baseY - 28 * s, baseY, rgb(0x2f8a4a), rgb(0x1d5c33));
}

void palm(cairo_t* cr, double x, double baseY, double s, double lean) {
    cairo_move_to(cr, x, baseY);
    cairo_curve_to(cr, x + lean * 0.3, baseY - 10 * s, x + lean * 0.8, baseY - 18 * s, x + lean,
                   baseY - 24 * s);
    strokeColor(cr, rgb(0x8b5a2b), 2.2 * s);
    const double tx = x + lean, ty = baseY - 24 * s;
    // Fronds: curved leaves fanning out over the top and drooping at their tips.
    for (int i = 0; i < 7; ++i) {
        const double a = M_PI + (i + 0.5) * M_PI / 7;
        const double len = 13 * s;
        const double tipX = tx + std::cos(a) * len, tipY = ty + std::sin(a) * len * 0.45 + 6 * s;
        const double midX = tx + std::cos(a) * len * 0.55, midY = ty + std::sin(a) * len * 0.6;
        const double nx = -std::sin(a) * 2.4 * s, ny = std::cos(a) * 2.4 * s;
        cairo_move_to(cr, tx, ty);
        cairo_curve_to(cr, midX + nx, midY + ny, midX + nx, midY + ny, tipX, tipY);
        cairo_curve_to(cr, midX - nx, midY - ny, midX - nx, midY - ny, tx, ty);
        cairo_close_path(cr);
        fillVertical(cr, ty - len * 0.6, ty + 6 * s, rgb(0x5fcf5a), rgb(0x1f7a35), true);
        strokeColor(cr, rgb(0x1a5e2a), 0.35 * s);
    }
    circle(cr, tx - s, ty + 1.5 * s, 1.3 * s, rgb(0x6b4a1e));
    circle(cr, tx + 1.2 * s, ty + 1.8 * s, 1.3 * s, rgb(0x6b4a1e));
}

// A rectangular building standing on baseY, with a grid of windows.
struct Facade {
    Color wall;
    Color window;
    Color lit = rgb(0xffe08a);
    int cols = 3, rows = 4;
    double litShare = 0.25;  // share of windows lit, chosen by a fixed pattern
    double margin = 4;
};

void building(cairo_t* cr, double x, double baseY, double w, double h, const Facade& f) {
    cairo_rectangle(cr, x, baseY - h, w, h);
    fillVertical(cr, baseY - h, baseY, shade(f.wall, 0.12), shade(f.wall, -0.12));
    cairo_rectangle(cr, x, baseY - h, w, h);
    strokeColor(cr, shade(f.wall, -0.4), 0.5);
    // The shaded right side gives depth.
    rect(cr, x + w - w * 0.12, baseY - h, w * 0.12, h, {0, 0, 0, 0.12});
    const double gx = (w - 2 * f.margin) / f.cols, gy = (h - 2 * f.margin) / f.rows;
    for (int r = 0; r < f.rows; ++r)
        for (int c = 0; c < f.cols; ++c) {
            const bool lit = ((r * 7 + c * 3) % 10) < f.litShare * 10;
            const double wx = x + f.margin + c * gx + gx * 0.18;
            const double wy = baseY - h + f.margin + r * gy + gy * 0.2;
            rect(cr, wx, wy, gx * 0.64, gy * 0.6, lit ? f.lit : f.window);
            rect(cr, wx, wy, gx * 0.64, gy * 0.15, {1, 1, 1, 0.25});
        }
}

void pitchedRoof(cairo_t* cr, double x, double y, double w, double h, Color c) {
    cairo_move_to(cr, x - 2, y);
    cairo_line_to(cr, x + w / 2, y - h);
    cairo_line_to(cr, x + w + 2, y);
    cairo_close_path(cr);
    fillVertical(cr, y - h, y, shade(c, 0.15), shade(c, -0.2), true);
    strokeColor(cr, shade(c, -0.45), 0.6);
}

void door(cairo_t* cr, double x, double baseY, double w, double h, Color c) {
    roundedRectPath(cr, x, baseY - h, w, h + 1, 1);
    fillColor(cr, c);
    circle(cr, x + w * 0.78, baseY - h / 2, 0.5, rgb(0xffd700));
}

// The ten houses, from the studio flat to the base on Mars.
void sceneStudio(cairo_t* cr) {
    sky(cr, rgb(0x6ec6ff), rgb(0xd8f1ff));
    sun(cr, 132, 22, 8);
    cloud(cr, 20, 22, 1.0);
    cloud(cr, 95, 14, 0.7);
    ground(cr, 102, rgb(0x8fd16a), rgb(0x5ea845));
    rect(cr, 0, 104, kSceneW, 4, rgb(0xc9c3b8));
    building(cr, 14, 104, 28, 50, {rgb(0xb9c4d0), rgb(0x6b88a8), rgb(0xffe08a), 2, 5, 0.1});
    building(cr, 118, 104, 30, 44, {rgb(0xc8bca8), rgb(0x6b88a8), rgb(0xffe08a), 2, 4, 0.1});
    building(cr, 52, 104, 56, 80, {rgb(0xf4b6a8), rgb(0x5c7fa3), rgb(0xffe08a), 3, 6, 0.0, 5});
    rect(cr, 50, 22, 60, 4, rgb(0xc97a6a));
    // The one warm window with a heart: this flat is ours.
    rect(cr, 85.5, 54, 12, 7.5, rgb(0xffd36b));
    cairo_save(cr);
    cairo_translate(cr, 91.5, 58);
    cairo_move_to(cr, 0, 2.5);
    cairo_curve_to(cr, -5, -1, -2, -4.5, 0, -1.5);
    cairo_curve_to(cr, 2, -4.5, 5, -1, 0, 2.5);
    fillColor(cr, rgb(0xe8413c));
    cairo_restore(cr);
    door(cr, 74, 104, 12, 12, rgb(0x7b4a32));
    tree(cr, 44, 104, 1.0);
    tree(cr, 114, 104, 0.9);
}

void sceneOldFlat(cairo_t* cr) {
    sky(cr, rgb(0xa9bccb), rgb(0xe4e8ea));
    cloud(cr, 14, 18, 1.1);
    cloud(cr, 110, 24, 1.3);
    ground(cr, 104, rgb(0xa8a296), rgb(0x857f74));
    const double x = 18, w = 124, top = 34;
    building(cr, x, 104, w, 104 - top, {rgb(0xd8c9a8), rgb(0x4d5d6b), rgb(0xf6dc8c), 6, 6, 0.15});
    // Stains and a crack on the old wall.
    ellipsePath(cr, 40, 50, 9, 4);
    fillColor(cr, {0.35, 0.3, 0.2, 0.15});
    cairo_move_to(cr, 112, 40);
    cairo_line_to(cr, 109, 48);
    cairo_line_to(cr, 113, 54);
    cairo_line_to(cr, 110, 62);
    strokeColor(cr, {0.3, 0.25, 0.2, 0.5}, 0.6);
    // Balconies with railings, air conditioners and laundry.
    for (int r = 0; r < 6; r += 2)
        for (int c = 0; c < 6; c += 2) {
            const double bx = x + 4 + c * 19.3, by = top + 4 + (r + 1) * 11;
            rect(cr, bx, by, 16, 3, rgb(0xbfb39a));
            for (int i = 0; i <= 4; ++i)
                rect(cr, bx + i * 3.8, by - 4, 0.6, 4, rgb(0x6b6358));
            rect(cr, bx, by - 4.5, 16, 0.7, rgb(0x6b6358));
        }
    for (int r = 1; r < 6; r += 2) {
        rect(cr, x + 44, top + 8 + r * 11, 6, 4, rgb(0xeeeeee));
        rect(cr, x + 44, top + 8 + r * 11, 6, 1, rgb(0xbbbbbb));
    }
    cairo_move_to(cr, x + 80, top + 27);
    cairo_line_to(cr, x + 98, top + 27);
    strokeColor(cr, rgb(0x555555), 0.4);
    const Color shirts[] = {rgb(0xe05a47), rgb(0x4a90d9), rgb(0xf2c14e)};
    for (int i = 0; i < 3; ++i)
        rect(cr, x + 82 + i * 5.5, top + 27, 4, 5, shirts[i]);
    // The stairwell door and a bicycle rack shadow.
    door(cr, 74, 104, 12, 14, rgb(0x4f6b52));
    rect(cr, 18, 100, 124, 4, {0, 0, 0, 0.08});
    tree(cr, 10, 106, 0.8, rgb(0x5e8f45));
    tree(cr, 150, 106, 0.9, rgb(0x5e8f45));
}

void sceneCompound(cairo_t* cr) {
    sky(cr, rgb(0x4fb3ff), rgb(0xc9ecff));
    cloud(cr, 60, 16, 0.9);
    sun(cr, 22, 20, 7);
    ground(cr, 98, rgb(0x7fd36b), rgb(0x49a34a));
    const Facade glass{rgb(0xe9f0f5), rgb(0x7fb2d9), rgb(0xbfe3ff), 4, 9, 0.3};
    building(cr, 20, 98, 34, 74, glass);
    building(cr, 64, 98, 36, 88, glass);
    building(cr, 110, 98, 32, 66, glass);
    rect(cr, 62, 8, 40, 3, rgb(0x9fb8c8));
    // A low fence and the gate of the compound.
    rect(cr, 0, 104, kSceneW, 2, rgb(0xe8e8e8));
    for (int i = 0; i < 40; ++i)
        rect(cr, i * 4.1, 99, 0.8, 6, rgb(0xdedede));
    rect(cr, 68, 92, 3, 14, rgb(0xcfcfcf));
    rect(cr, 92, 92, 3, 14, rgb(0xcfcfcf));
    roundedRectPath(cr, 66, 86, 31, 7, 2);
    fillColor(cr, rgb(0xb08d57));
    for (double tx = 8; tx < 160; tx += 22)
        tree(cr, tx, 112, 0.75);
}

void scenePenthouse(cairo_t* cr) {
    sky(cr, rgb(0x3d6fb6), rgb(0xffb36b));
    sun(cr, 130, 80, 9);
    building(cr, 6, 110, 30, 60, {rgb(0x5f6f86), rgb(0x44536a), rgb(0xffd37a), 3, 6, 0.3});
    building(cr, 118, 110, 34, 52, {rgb(0x5f6f86), rgb(0x44536a), rgb(0xffd37a), 3, 5, 0.3});
    ground(cr, 110, rgb(0x6c6c6c), rgb(0x4b4b4b));
    const double x = 50, w = 60;
    building(cr, x, 110, w, 72, {rgb(0xdcd6cc), rgb(0x6f8aa6), rgb(0xffe7a3), 4, 7, 0.2});
    // The two-level flat on top: tall glass, warm light and a terrace.
    cairo_rectangle(cr, x - 2, 14, w + 4, 24);
    fillVertical(cr, 14, 38, rgb(0xfff0c2), rgb(0xffc766));
    for (int i = 1; i < 6; ++i)
        rect(cr, x - 2 + i * (w + 4) / 6, 14, 0.8, 24, rgb(0x8a6a3a));
    rect(cr, x - 2, 25.5, w + 4, 1.2, rgb(0x8a6a3a));
    rect(cr, x - 6, 36.5, w + 12, 2.5, rgb(0xf2f2f2));
    rect(cr, x - 6, 10, w + 12, 4, rgb(0x3e3e3e));
    for (int i = 0; i <= 12; ++i)
        rect(cr, x - 6 + i * (w + 12) / 12, 5, 0.6, 5, rgb(0xe6e6e6));
    rect(cr, x - 6, 5, w + 12, 0.8, rgb(0xe6e6e6));
    tree(cr, x + 4, 10, 0.5);
    tree(cr, x + w - 4, 10, 0.5);
    starPath(cr, x + w + 14, 16, 4, 1.6, 4);
    fillColor(cr, {1, 1, 1, 0.9});
}

void sceneTownhouses(cairo_t* cr) {
    sky(cr, rgb(0x7cc8f5), rgb(0xe0f4ff));
    cloud(cr, 18, 14, 0.9);
    cloud(cr, 120, 18, 1.0);
    ground(cr, 100, rgb(0x8fd16a), rgb(0x5ea845));
    const Color walls[] = {rgb(0xf3e1c2), rgb(0xe6c7a5), rgb(0xf3e1c2), rgb(0xe6c7a5)};
    const Color roofs[] = {rgb(0xa44a3f), rgb(0x7d3c33), rgb(0xa44a3f), rgb(0x7d3c33)};
    for (int i = 0; i < 4; ++i) {
        const double x = 10 + i * 35;
        building(cr, x, 100, 35, 50, {walls[i], rgb(0x5a7c9a), rgb(0xffe08a), 2, 3, 0.2});
        pitchedRoof(cr, x, 50, 35, 20, roofs[i]);
        rect(cr, x + 24, 32, 4, 10, rgb(0x8c5a44));  // chimney
        door(cr, x + 13, 100, 9, 11, rgb(0x6b3f2a));
        // A small front yard with a hedge.
        roundedRectPath(cr, x + 2, 103, 31, 5, 2);
        fillColor(cr, rgb(0x3d8b3d));
        circle(cr, x + 6, 102, 2, rgb(0xf28ab2));
        circle(cr, x + 29, 102, 2, rgb(0xffd54a));
    }
    rect(cr, 0, 110, kSceneW, 10, rgb(0xcfc8bb));
}

void sceneRiverside(cairo_t* cr) {
    sky(cr, rgb(0x40306e), rgb(0xf7a35c));
    sun(cr, 28, 72, 10);
    building(cr, 0, 84, 22, 30, {rgb(0x3b3552), rgb(0x2b2740), rgb(0xffcf70), 2, 4, 0.4});
    building(cr, 128, 84, 32, 36, {rgb(0x3b3552), rgb(0x2b2740), rgb(0xffcf70), 3, 4, 0.4});
    const Facade glass{rgb(0x6fa6c9), rgb(0x3f6f94), rgb(0xffe2a0), 4, 10, 0.45, 3};
    building(cr, 44, 84, 30, 76, glass);
    building(cr, 82, 84, 34, 64, glass);
    cairo_move_to(cr, 44, 8);
    cairo_line_to(cr, 59, 2);
    cairo_line_to(cr, 74, 8);
    cairo_close_path(cr);
    fillColor(cr, rgb(0x9fc7e0));
    ground(cr, 84, rgb(0x2f4f74), rgb(0x1b2f4d));
    // Reflections on the river.
    for (int i = 0; i < 14; ++i) {
        const double y = 88 + i * 2.2;
        rect(cr, 46 + (i % 3) * 3, y, 24 - i, 0.8, {1, 0.85, 0.55, 0.35 - i * 0.02});
        rect(cr, 86 + (i % 2) * 4, y, 26 - i, 0.8, {1, 0.85, 0.55, 0.3 - i * 0.02});
    }
    rect(cr, 0, 82, kSceneW, 2.5, rgb(0x55606e));
    for (int i = 0; i < 16; ++i)
        circle(cr, 5 + i * 10, 81, 0.9, rgb(0xfff1b8));
}

void sceneDowntown(cairo_t* cr) {
    sky(cr, rgb(0x0b1233), rgb(0x2b3a78));
    stars(cr, 30, 50, 7);
    cairo_arc(cr, 138, 18, 7, 0, 2 * M_PI);
    fillColor(cr, rgb(0xfff4c4));
    circle(cr, 141, 16, 6, rgb(0x0f1840));
    const Facade dark{rgb(0x1e2547), rgb(0x161b36), rgb(0xffd36e), 3, 8, 0.45};
    building(cr, 0, 106, 24, 62, dark);
    building(cr, 22, 106, 26, 80, dark);
    building(cr, 110, 106, 26, 74, dark);
    building(cr, 134, 106, 26, 56, dark);
    // The gold tower with its crown.
    const double x = 54, w = 52;
    building(cr, x, 106, w, 86, {rgb(0xc8a24a), rgb(0x6a5220), rgb(0xfff0b3), 5, 10, 0.6, 3});
    cairo_move_to(cr, x, 20);
    cairo_line_to(cr, x + 10, 10);
    cairo_line_to(cr, x + w / 2, 2);
    cairo_line_to(cr, x + w - 10, 10);
    cairo_line_to(cr, x + w, 20);
    cairo_close_path(cr);
    fillVertical(cr, 2, 20, rgb(0xffe48a), rgb(0xb8872c));
    rect(cr, x + w / 2 - 0.6, -2, 1.2, 6, rgb(0xffe48a));
    ground(cr, 106, rgb(0x33354a), rgb(0x1d1f2e));
    for (int i = 0; i < 10; ++i)
        circle(cr, 8 + i * 16, 110, 1.2, rgb(0xffd27a));
}

void sceneVilla(cairo_t* cr) {
    sky(cr, rgb(0x8ad0ff), rgb(0xe6f7ff));
    cloud(cr, 100, 12, 0.9);
    for (double x = 2; x < 160; x += 11)
        pine(cr, x, 66 + std::fmod(x * 7, 5), 0.9);
    ground(cr, 66, rgb(0x7bd06a), rgb(0x4f9d46));
    // Two white boxes with wide glass and a flat roof.
    rect(cr, 30, 40, 60, 30, rgb(0xf7f7f2));
    rect(cr, 70, 24, 50, 46, rgb(0xfdfdf8));
    rect(cr, 26, 37, 68, 4, rgb(0x5b5b5b));
    rect(cr, 66, 21, 58, 4, rgb(0x5b5b5b));
    cairo_rectangle(cr, 36, 46, 28, 20);
    fillVertical(cr, 46, 66, rgb(0x9fd4f0), rgb(0x4f8fb8));
    cairo_rectangle(cr, 76, 30, 38, 16);
    fillVertical(cr, 30, 46, rgb(0xffe6a6), rgb(0xe7b35d));
    cairo_rectangle(cr, 76, 50, 38, 16);
    fillVertical(cr, 50, 66, rgb(0x9fd4f0), rgb(0x4f8fb8));
    for (double gx : {48.0, 89.0, 101.0})
        rect(cr, gx, 46, 0.8, 20, rgb(0x666666));
    rect(cr, 20, 70, 120, 3, rgb(0xd9d4c7));
    // The pool.
    roundedRectPath(cr, 28, 80, 104, 26, 5);
    fillColor(cr, rgb(0xe9e4d6));
    roundedRectPath(cr, 32, 83, 96, 20, 4);
    fillVertical(cr, 83, 103, rgb(0x64e0f0), rgb(0x1aa3c7));
    for (int i = 0; i < 5; ++i) {
        cairo_move_to(cr, 40 + i * 18, 88 + (i % 2) * 7);
        cairo_curve_to(cr, 43 + i * 18, 86 + (i % 2) * 7, 47 + i * 18, 90 + (i % 2) * 7,
                       50 + i * 18, 88 + (i % 2) * 7);
        strokeColor(cr, {1, 1, 1, 0.7}, 0.7);
    }
    rect(cr, 124, 84, 1, 8, rgb(0xbbbbbb));
    rect(cr, 128, 84, 1, 8, rgb(0xbbbbbb));
    tree(cr, 12, 96, 1.0);
    tree(cr, 148, 98, 1.1);
}

void sceneIsland(cairo_t* cr) {
    sky(cr, rgb(0x2fa8ff), rgb(0xbfeaff));
    sun(cr, 130, 20, 9);
    cloud(cr, 18, 16, 0.8);
    ground(cr, 66, rgb(0x1fc2c9), rgb(0x0a6aa6));
    for (int i = 0; i < 9; ++i) {
        cairo_move_to(cr, 6 + i * 18, 76 + (i % 3) * 11);
        cairo_line_to(cr, 14 + i * 18, 76 + (i % 3) * 11);
        strokeColor(cr, {1, 1, 1, 0.5}, 0.8);
    }
    // The island: a sandy mound with a shallow rim.
    ellipsePath(cr, 80, 84, 66, 16);
    fillColor(cr, rgb(0x7fe3e0, 0.7));
    ellipsePath(cr, 80, 82, 58, 12);
    fillVertical(cr, 70, 94, rgb(0xfbe7a8), rgb(0xe2c27a));
    // The villa with a red roof and a veranda.
    rect(cr, 66, 58, 36, 18, rgb(0xfffaf0));
    pitchedRoof(cr, 64, 58, 40, 12, rgb(0xd9553b));
    cairo_rectangle(cr, 70, 62, 10, 8);
    fillVertical(cr, 62, 70, rgb(0xbfe8ff), rgb(0x6fb3dd));
    cairo_rectangle(cr, 88, 62, 10, 8);
    fillVertical(cr, 62, 70, rgb(0xbfe8ff), rgb(0x6fb3dd));
    door(cr, 81, 76, 6, 9, rgb(0x8b5a2b));
    palm(cr, 38, 86, 1.0, -6);
    palm(cr, 118, 84, 1.0, 7);
    palm(cr, 128, 88, 0.8, 4);
    // A beach umbrella.
    rect(cr, 50, 78, 0.8, 10, rgb(0x666666));
    cairo_arc(cr, 50.4, 79, 7, M_PI, 2 * M_PI);
    fillColor(cr, rgb(0xff6f61));
    cairo_move_to(cr, 50.4, 72);
    cairo_line_to(cr, 47, 79);
    cairo_line_to(cr, 54, 79);
    cairo_close_path(cr);
    fillColor(cr, {1, 1, 1, 0.8});
}

void sceneMars(cairo_t* cr) {
    sky(cr, rgb(0x0d0614), rgb(0x7a2e1d));
    stars(cr, 40, 70, 3);
    circle(cr, 128, 22, 7, rgb(0x2f74d0));
    ellipsePath(cr, 126, 20, 3, 2);
    fillColor(cr, rgb(0x48b05a));
    circle(cr, 125, 19, 1.4, {1, 1, 1, 0.6});
    // Hills and plain.
    cairo_move_to(cr, 0, 80);
    cairo_curve_to(cr, 30, 62, 50, 70, 80, 76);
    cairo_curve_to(cr, 110, 60, 140, 66, 160, 74);
    cairo_line_to(cr, 160, 120);
    cairo_line_to(cr, 0, 120);
    cairo_close_path(cr);
    fillVertical(cr, 60, 120, rgb(0xc0502d), rgb(0x7a2b16));
    for (int i = 0; i < 8; ++i) {
        ellipsePath(cr, 12 + i * 19, 104 + (i % 3) * 4, 3 + i % 3, 1.3);
        fillColor(cr, {0.35, 0.1, 0.05, 0.5});
    }
    // The domes and the tube between them.
    rect(cr, 50, 90, 50, 4, rgb(0xb8c4cc));
    auto dome = [cr](double cx, double baseY, double r) {
        cairo_arc(cr, cx, baseY, r, M_PI, 2 * M_PI);
        cairo_close_path(cr);
        fillRadial(cr, cx - r * 0.3, baseY - r * 0.6, r * 1.2, rgb(0xd8f4ff, 0.95),
                   rgb(0x6aa8c8, 0.85), true);
        strokeColor(cr, rgb(0xeaf6ff), 0.8);
        cairo_arc(cr, cx, baseY, r * 0.7, M_PI * 1.15, M_PI * 1.45);
        strokeColor(cr, {1, 1, 1, 0.8}, 1.0);
        rect(cr, cx - r - 1, baseY, 2 * r + 2, 3, rgb(0x9aa6ae));
    };
    dome(48, 94, 20);
    dome(100, 96, 14);
    tree(cr, 44, 93, 0.7);  // a garden under glass
    tree(cr, 54, 93, 0.6);
    // An antenna and a rocket.
    rect(cr, 124, 62, 1.4, 34, rgb(0xcfd6da));
    cairo_arc(cr, 124.7, 62, 5, M_PI * 0.1, M_PI * 0.9);
    strokeColor(cr, rgb(0xcfd6da), 1.2);
    cairo_move_to(cr, 142, 56);
    cairo_curve_to(cr, 147, 62, 147, 80, 146, 96);
    cairo_line_to(cr, 138, 96);
    cairo_curve_to(cr, 137, 80, 137, 62, 142, 56);
    fillVertical(cr, 56, 96, rgb(0xffffff), rgb(0xc9ced3));
    circle(cr, 142, 70, 2, rgb(0x3b82c4));
    cairo_move_to(cr, 138, 88);
    cairo_line_to(cr, 134, 97);
    cairo_line_to(cr, 139, 96);
    cairo_close_path(cr);
    cairo_move_to(cr, 146, 88);
    cairo_line_to(cr, 150, 97);
    cairo_line_to(cr, 145, 96);
    cairo_close_path(cr);
    fillColor(cr, rgb(0xd9472b));
}

using Scene = void (*)(cairo_t*);
const std::array<Scene, 10> kHouseScenes = {
    sceneStudio,    sceneOldFlat,  sceneCompound, scenePenthouse, sceneTownhouses,
    sceneRiverside, sceneDowntown, sceneVilla,    sceneIsland,    sceneMars};
const std::array<const char*, 10> kHouseNames = {
    "单身公寓",     "二手旧房",     "高档小区",     "跃层大房",     "四联排屋",
    "一线江景豪宅", "内环高端大宅", "单体泳池别墅", "热带小岛别墅", "火星移民基地"};

// Draws a scene into (x, y, w, h) of the canvas, clipped to a rounded frame.
void sceneInto(cairo_t* cr, Scene scene, double x, double y, double w, double h, double radius) {
    cairo_save(cr);
    roundedRectPath(cr, x, y, w, h, radius);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / kSceneW, h / kSceneH);
    scene(cr);
    cairo_restore(cr);
}

// ---------------------------------------------------------------------------------------------
// Houses, successes and the house shop.

constexpr double kHouseW = 120, kHouseH = 90;

bool drawHouses(const fs::path& dir) {
    bool ok = true;
    for (size_t i = 0; i < kHouseScenes.size(); ++i) {
        Canvas c(kHouseW, kHouseH);
        sceneInto(c.cr(), kHouseScenes[i], 0, 0, kHouseW, kHouseH, 8);
        roundedRectPath(c.cr(), 0.5, 0.5, kHouseW - 1, kHouseH - 1, 8);
        strokeColor(c.cr(), {1, 1, 1, 0.9}, 1);
        ok &= c.savePng(dir / ("house" + std::to_string(i + 1) + ".png"));
    }
    // A house not bought yet: a locked silhouette.
    Canvas mask(kHouseW, kHouseH);
    cairo_t* cr = mask.cr();
    roundedRectPath(cr, 0, 0, kHouseW, kHouseH, 8);
    fillVertical(cr, 0, kHouseH, rgb(0x8a94a6), rgb(0x4e5668));
    cairo_move_to(cr, 60, 14);
    cairo_line_to(cr, 98, 42);
    cairo_line_to(cr, 90, 42);
    cairo_line_to(cr, 90, 76);
    cairo_line_to(cr, 30, 76);
    cairo_line_to(cr, 30, 42);
    cairo_line_to(cr, 22, 42);
    cairo_close_path(cr);
    fillColor(cr, rgb(0x394152));
    textCentred(cr, "?", 60, 58, {.size = 34, .color = rgb(0xc8d0dc)});
    ok &= mask.savePng(dir / "housemask.png");

    // The house list's own picture name, one for every house.
    Canvas list(kHouseW, kHouseH);
    sceneInto(list.cr(), kHouseScenes[0], 0, 0, kHouseW, kHouseH, 0);
    ok &= list.saveJpeg(dir / "a1.jpg", 85);
    return ok;
}

void confetti(cairo_t* cr, double w, double h, unsigned seed) {
    const Color colors[] = {rgb(0xff5a5f), rgb(0xffc93c), rgb(0x3ddc97), rgb(0x4d9de0),
                            rgb(0xe15ce6)};
    for (int i = 0; i < 46; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double x = (seed >> 8) % 1000 / 1000.0 * w;
        seed = seed * 1103515245u + 12345u;
        const double y = (seed >> 8) % 1000 / 1000.0 * h * 0.55;
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, i * 0.7);
        rect(cr, -2, -1, 4, 2, colors[i % 5]);
        cairo_restore(cr);
    }
}

bool drawSuccesses(const fs::path& dir) {
    constexpr double w = 240, h = 180;
    bool ok = true;
    for (size_t i = 0; i < kHouseScenes.size(); ++i) {
        Canvas c(w, h);
        cairo_t* cr = c.cr();
        sceneInto(cr, kHouseScenes[i], 0, 0, w, h, 12);
        cairo_save(cr);
        roundedRectPath(cr, 0, 0, w, h, 12);
        cairo_clip(cr);
        confetti(cr, w, h, 17 + static_cast<unsigned>(i) * 31);
        cairo_restore(cr);
        // A ribbon with the house's name.
        const double by = h - 38;
        cairo_move_to(cr, 22, by);
        cairo_line_to(cr, 218, by);
        cairo_line_to(cr, 210, by + 13);
        cairo_line_to(cr, 218, by + 26);
        cairo_line_to(cr, 22, by + 26);
        cairo_line_to(cr, 30, by + 13);
        cairo_close_path(cr);
        fillVertical(cr, by, by + 26, rgb(0xff5b4d), rgb(0xc0241b), true);
        strokeColor(cr, rgb(0xffd66b), 1.2);
        textCentred(
            cr, kHouseNames[i], w / 2, by + 13,
            {.size = 15, .color = rgb(0xfff6d6), .outline = rgb(0x7a120c), .outlineWidth = 2});
        // A gold star badge.
        starPath(cr, w - 26, 24, 17, 8, 5);
        fillRadial(cr, w - 26, 20, 18, rgb(0xfff2a6), rgb(0xf0a81a), true);
        strokeColor(cr, rgb(0xa8660a), 1);
        textCentred(cr, "成功", w - 26, 25, {.size = 8, .color = rgb(0x8a3d00)});
        roundedRectPath(cr, 1, 1, w - 2, h - 2, 12);
        strokeColor(cr, rgb(0xffd66b), 2);
        ok &= c.savePng(dir / ("success" + std::to_string(i + 1) + ".png"));
    }
    return ok;
}

// The selection frame of the house shop's row; the three pictures take turns, so each is a
// little brighter than the one before.
bool drawSelectionFrames(const fs::path& dir) {
    constexpr double w = 320, h = 100;
    const Color glows[] = {rgb(0xffd24a), rgb(0xffa62b), rgb(0xff6a3d)};
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        Canvas c(w, h);
        cairo_t* cr = c.cr();
        for (int k = 4; k >= 1; --k) {
            roundedRectPath(cr, 3, 3, w - 6, h - 6, 10);
            strokeColor(cr, {glows[i].r, glows[i].g, glows[i].b, 0.12 * (5 - k)}, k * 2.0);
        }
        roundedRectPath(cr, 3, 3, w - 6, h - 6, 10);
        strokeColor(cr, glows[i], 2.2);
        for (double x : {12.0, w - 12}) {
            for (double y : {12.0, h - 12}) {
                starPath(cr, x, y, 5 + i, 2, 4);
                fillColor(cr, {1, 1, 1, 0.95});
            }
        }
        ok &= c.savePng(dir / ("bg_selected" + std::to_string(i + 1) + ".png"));
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Goods: one tile per good for the market ("_m", sky blue) and the warehouse ("_w", wood).

constexpr double kGoodsTile = 60;

void iconBeans(cairo_t* cr) {
    // A helix behind a heap of beans.
    for (int i = 0; i < 24; ++i) {
        const double t = i / 23.0;
        const double y = 4 + t * 26, dx = std::sin(t * 2 * M_PI * 1.5) * 7;
        circle(cr, 31 + dx, y, 1.1, rgb(0x5ab3ff, 0.9));
        circle(cr, 31 - dx, y, 1.1, rgb(0xff6b9a, 0.9));
    }
    const double beans[][3] = {{14, 28, 0.4},  {22, 31, -0.3}, {30, 29, 0.8}, {18, 35, 0.1},
                               {27, 36, -0.6}, {35, 34, 0.3},  {24, 24, 0.2}};
    for (auto& b : beans) {
        cairo_save(cr);
        cairo_translate(cr, b[0], b[1]);
        cairo_rotate(cr, b[2]);
        ellipsePath(cr, 0, 0, 5, 3.6);
        fillRadial(cr, -1.5, -1.2, 6, rgb(0xf6f08a), rgb(0x8fbf2a), true);
        strokeColor(cr, rgb(0x5b7a16), 0.5);
        ellipsePath(cr, 0, 0.6, 1.6, 0.6);
        fillColor(cr, rgb(0x6b8a1e));
        cairo_restore(cr);
    }
}

void iconChicken(cairo_t* cr) {
    // A roast drumstick.
    cairo_move_to(cr, 10, 26);
    cairo_curve_to(cr, 6, 12, 20, 2, 30, 10);
    cairo_curve_to(cr, 36, 15, 32, 25, 26, 27);
    cairo_curve_to(cr, 22, 29, 16, 32, 10, 26);
    fillRadial(cr, 18, 12, 22, rgb(0xf7b45a), rgb(0xa9561c), true);
    strokeColor(cr, rgb(0x7a3a10), 0.7);
    rect(cr, 24, 25, 10, 4, rgb(0xf6efe0));
    cairo_save(cr);
    cairo_translate(cr, 33, 27);
    circle(cr, 1, -2.5, 3, rgb(0xf6efe0));
    circle(cr, 2, 2.5, 3, rgb(0xf6efe0));
    cairo_restore(cr);
    ellipsePath(cr, 16, 14, 4, 2);
    fillColor(cr, {1, 1, 1, 0.35});
}

void iconOil(cairo_t* cr) {
    // A murky bottle with a drip.
    cairo_move_to(cr, 16, 4);
    cairo_line_to(cr, 24, 4);
    cairo_line_to(cr, 24, 10);
    cairo_curve_to(cr, 32, 13, 32, 16, 32, 20);
    cairo_line_to(cr, 32, 36);
    cairo_line_to(cr, 8, 36);
    cairo_line_to(cr, 8, 20);
    cairo_curve_to(cr, 8, 16, 8, 13, 16, 10);
    cairo_close_path(cr);
    fillVertical(cr, 4, 36, rgb(0xd8c25a), rgb(0x6f5a16), true);
    strokeColor(cr, rgb(0x4d3d0c), 0.7);
    rect(cr, 15, 1, 10, 4, rgb(0x8b2f2f));
    rect(cr, 11, 22, 18, 9, rgb(0xf3e7c4));
    textCentred(cr, "油", 20, 26.5, {.size = 7, .color = rgb(0x6f5a16)});
    cairo_move_to(cr, 35, 22);
    cairo_curve_to(cr, 38, 27, 38, 30, 35, 30);
    cairo_curve_to(cr, 32, 30, 32, 27, 35, 22);
    fillColor(cr, rgb(0x8c7a22));
}

void iconMilk(cairo_t* cr) {
    // A tin of formula with a baby bottle.
    roundedRectPath(cr, 6, 8, 20, 28, 3);
    fillVertical(cr, 8, 36, rgb(0xf2f6ff), rgb(0xb8c6dc), true);
    strokeColor(cr, rgb(0x5a6c8a), 0.6);
    rect(cr, 5, 6, 22, 4, rgb(0xd4af37));
    rect(cr, 6, 16, 20, 10, rgb(0x2f6fd0));
    textCentred(cr, "奶粉", 16, 21, {.size = 6, .color = rgb(0xffffff)});
    roundedRectPath(cr, 28, 16, 9, 20, 3);
    fillColor(cr, {1, 1, 1, 0.95}, true);
    strokeColor(cr, rgb(0x8aa0c0), 0.6);
    rect(cr, 28, 26, 9, 10, rgb(0xfdf6e3));
    rect(cr, 29, 12, 7, 4, rgb(0x7ec8f0));
    ellipsePath(cr, 32.5, 10, 2, 3);
    fillColor(cr, rgb(0xf7c59f));
}

void iconGasMask(cairo_t* cr) {
    ellipsePath(cr, 20, 18, 15, 15);
    fillRadial(cr, 15, 12, 20, rgb(0x7a8a6a), rgb(0x2f3a28), true);
    strokeColor(cr, rgb(0x1f271a), 0.7);
    for (double x : {13.0, 27.0}) {
        circle(cr, x, 15, 5, rgb(0x1b2a33));
        circle(cr, x, 15, 4, rgb(0x8fd3f0));
        circle(cr, x - 1.3, 13.7, 1.3, {1, 1, 1, 0.8});
    }
    circle(cr, 20, 30, 7, rgb(0x555f4a));
    circle(cr, 20, 30, 5, rgb(0x3a4230));
    for (int i = 0; i < 6; ++i)
        circle(cr, 20 + 3 * std::cos(i), 30 + 3 * std::sin(i), 0.7, rgb(0x9aa68a));
}

void iconGold(cairo_t* cr) {
    // A necklace and a ring with a gem.
    cairo_move_to(cr, 4, 6);
    cairo_curve_to(cr, 6, 30, 34, 30, 36, 6);
    strokeColor(cr, rgb(0xd9a520), 1.6);
    for (int i = 0; i < 9; ++i) {
        const double t = i / 8.0;
        const double x = 4 + 32 * t, y = 6 + 18 * std::sin(t * M_PI);
        circle(cr, x, y, 1.4, rgb(0xffe27a));
    }
    cairo_arc(cr, 20, 28, 8, 0, 2 * M_PI);
    strokeColor(cr, rgb(0xc08a12), 3.4);
    cairo_arc(cr, 20, 28, 8, M_PI * 1.1, M_PI * 1.6);
    strokeColor(cr, rgb(0xfff0a8), 1.2);
    cairo_move_to(cr, 20, 14);
    cairo_line_to(cr, 25, 19);
    cairo_line_to(cr, 20, 23);
    cairo_line_to(cr, 15, 19);
    cairo_close_path(cr);
    fillVertical(cr, 14, 23, rgb(0xb8f2ff), rgb(0x3aa0d8), true);
    strokeColor(cr, {1, 1, 1, 0.9}, 0.5);
}

void iconPhone(cairo_t* cr) {
    roundedRectPath(cr, 10, 2, 20, 36, 4);
    fillVertical(cr, 2, 38, rgb(0x4a4f5a), rgb(0x15171c), true);
    strokeColor(cr, rgb(0xb7bcc6), 0.8);
    roundedRectPath(cr, 12, 6, 16, 26, 1.5);
    fillVertical(cr, 6, 32, rgb(0x5fb0ff), rgb(0x2a4fa8));
    // The kidney on the screen.
    cairo_move_to(cr, 22, 12);
    cairo_curve_to(cr, 27, 11, 27, 24, 22, 25);
    cairo_curve_to(cr, 17, 26, 15, 21, 19, 18.5);
    cairo_curve_to(cr, 16, 15, 18, 12, 22, 12);
    fillVertical(cr, 12, 25, rgb(0xf08080), rgb(0xa83a4a));
    circle(cr, 20, 35, 1.4, rgb(0x9aa0aa));
}

void iconCar(cairo_t* cr) {
    cairo_move_to(cr, 3, 28);
    cairo_line_to(cr, 3, 22);
    cairo_curve_to(cr, 4, 19, 8, 18, 11, 18);
    cairo_line_to(cr, 15, 11);
    cairo_curve_to(cr, 17, 9, 19, 9, 21, 9);
    cairo_line_to(cr, 28, 9);
    cairo_curve_to(cr, 30, 9, 31, 10, 32, 12);
    cairo_line_to(cr, 35, 18);
    cairo_curve_to(cr, 38, 19, 38, 22, 38, 28);
    cairo_close_path(cr);
    fillVertical(cr, 9, 28, rgb(0xff6b5b), rgb(0xb3201a), true);
    strokeColor(cr, rgb(0x6e0f0b), 0.7);
    cairo_move_to(cr, 16, 12.5);
    cairo_line_to(cr, 20, 11);
    cairo_line_to(cr, 22, 11);
    cairo_line_to(cr, 22, 17);
    cairo_line_to(cr, 13.5, 17);
    cairo_close_path(cr);
    cairo_move_to(cr, 24, 11);
    cairo_line_to(cr, 28, 11);
    cairo_line_to(cr, 31, 17);
    cairo_line_to(cr, 24, 17);
    cairo_close_path(cr);
    fillColor(cr, rgb(0xbfe6ff));
    for (double x : {11.0, 30.0}) {
        circle(cr, x, 28, 4.5, rgb(0x222222));
        circle(cr, x, 28, 2, rgb(0xc8c8c8));
    }
    rect(cr, 35, 20, 3, 2, rgb(0xfff3a0));
}

struct Goods {
    const char* image;  // the image name the model keeps; the files add "_m" and "_w"
    const char* name;
    void (*icon)(cairo_t*);
};

const Goods kGoods[] = {
    {"btn_zjyd", "转基因豆", iconBeans},   {"btn_slrj", "饲料肉鸡", iconChicken},
    {"btn_dgy", "地沟油", iconOil},        {"btn_jknf", "进口奶粉", iconMilk},
    {"btn_fdmj", "防毒面具", iconGasMask}, {"btn_hjss", "黄金首饰", iconGold},
    {"btn_spsj", "肾牌手机", iconPhone},   {"btn_gcqc", "国产汽车", iconCar},
};

void goodsTile(cairo_t* cr, const Goods& g, bool market) {
    const double s = kGoodsTile;
    if (market) {
        panel(cr, 1, 1, s - 2, s - 2, 9, rgb(0x9be3ff), rgb(0x2f8fd6), rgb(0x1d5f96));
    } else {
        panel(cr, 1, 1, s - 2, s - 2, 9, rgb(0xe8b97a), rgb(0x9a5f2a), rgb(0x5e3614));
        for (int i = 0; i < 3; ++i) {
            cairo_move_to(cr, 6, 16 + i * 14);
            cairo_curve_to(cr, 20, 14 + i * 14, 40, 19 + i * 14, s - 6, 16 + i * 14);
            strokeColor(cr, {0.35, 0.18, 0.05, 0.18}, 0.8);
        }
    }
    roundedRectPath(cr, 8, 5, s - 16, 38, 8);
    fillColor(cr, {1, 1, 1, 0.35});
    cairo_save(cr);
    cairo_translate(cr, 10, 4);
    g.icon(cr);
    cairo_restore(cr);
    textCentred(cr, g.name, s / 2, s - 9,
                {.size = 10,
                 .color = rgb(0xffffff),
                 .outline = market ? rgb(0x0e3f6b) : rgb(0x4a2708),
                 .outlineWidth = 2.4});
}

bool drawGoods(const fs::path& dir) {
    bool ok = true;
    for (const Goods& g : kGoods) {
        for (bool market : {true, false}) {
            Canvas c(kGoodsTile, kGoodsTile);
            goodsTile(c.cr(), g, market);
            ok &= c.savePng(dir / (std::string(g.image) + (market ? "_m" : "_w") + ".png"));
        }
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Buttons: rounded gradients with a label.

struct ButtonStyle {
    Color top, bottom, outline, textOutline;
};
const ButtonStyle kGreen{rgb(0x8ee65a), rgb(0x2f9e2a), rgb(0x1c6a18), rgb(0x17520f)};
const ButtonStyle kRed{rgb(0xff8a6b), rgb(0xd22f24), rgb(0x8c1710), rgb(0x6b0f0a)};
const ButtonStyle kOrange{rgb(0xffd36b), rgb(0xf08a1c), rgb(0xa8560a), rgb(0x7a3d05)};
const ButtonStyle kBlue{rgb(0x8fd4ff), rgb(0x2f7fd6), rgb(0x1a4f8f), rgb(0x123a6b)};
const ButtonStyle kPurple{rgb(0xe49cff), rgb(0x9b34d6), rgb(0x5f1a8f), rgb(0x45106b)};
const ButtonStyle kGrey{rgb(0xd6d9de), rgb(0x8a9099), rgb(0x5b6068), rgb(0x3f444b)};

void button(cairo_t* cr,
            double w,
            double h,
            const ButtonStyle& s,
            const std::string& label,
            double size) {
    panel(cr, 1, 1, w - 2, h - 2, h / 2.6, s.top, s.bottom, s.outline);
    textCentred(
        cr, label, w / 2, h / 2,
        {.size = size, .color = rgb(0xffffff), .outline = s.textOutline, .outlineWidth = 2.2});
}

// A speaker, an exclamation bulb, a flame or a film frame in front of a switch's label.
void switchIcon(cairo_t* cr, const std::string& kind, double cx, double cy, bool on) {
    const Color white{1, 1, 1, 1};
    if (kind == "sound") {
        cairo_move_to(cr, cx - 6, cy - 3);
        cairo_line_to(cr, cx - 3, cy - 3);
        cairo_line_to(cr, cx + 1, cy - 7);
        cairo_line_to(cr, cx + 1, cy + 7);
        cairo_line_to(cr, cx - 3, cy + 3);
        cairo_line_to(cr, cx - 6, cy + 3);
        cairo_close_path(cr);
        fillColor(cr, white);
        if (on) {
            for (double r : {4.0, 7.0}) {
                cairo_arc(cr, cx + 1, cy, r, -0.8, 0.8);
                strokeColor(cr, white, 1.3);
            }
        } else {
            cairo_move_to(cr, cx + 3, cy - 4);
            cairo_line_to(cr, cx + 9, cy + 4);
            cairo_move_to(cr, cx + 9, cy - 4);
            cairo_line_to(cr, cx + 3, cy + 4);
            strokeColor(cr, white, 1.6);
        }
    } else if (kind == "hint") {
        circle(cr, cx, cy - 1.5, 5.5, on ? rgb(0xfff27a) : rgb(0xe0e0e0));
        rect(cr, cx - 2.5, cy + 3.5, 5, 3.5, white);
        textCentred(cr, "!", cx, cy - 1.5, {.size = 8, .color = rgb(0x6b4a00)});
    } else if (kind == "crazy") {
        cairo_move_to(cr, cx, cy - 8);
        cairo_curve_to(cr, cx + 8, cy - 2, cx + 6, cy + 7, cx, cy + 7);
        cairo_curve_to(cr, cx - 6, cy + 7, cx - 8, cy - 1, cx - 3, cy - 4);
        cairo_curve_to(cr, cx - 2, cy - 1, cx - 1, cy - 1, cx, cy - 8);
        fillColor(cr, on ? rgb(0xffe066) : rgb(0xe6e6e6));
    } else if (kind == "video") {
        roundedRectPath(cr, cx - 8, cy - 6, 16, 12, 2);
        fillColor(cr, white);
        cairo_move_to(cr, cx - 2.5, cy - 3.5);
        cairo_line_to(cr, cx + 4, cy);
        cairo_line_to(cr, cx - 2.5, cy + 3.5);
        cairo_close_path(cr);
        fillColor(cr, on ? rgb(0xd9472b) : rgb(0x8a9099));
    }
}

void iconButton(cairo_t* cr,
                double w,
                double h,
                const ButtonStyle& s,
                const std::string& icon,
                bool on,
                const std::string& label,
                double size) {
    panel(cr, 1, 1, w - 2, h - 2, h / 2.6, s.top, s.bottom, s.outline);
    switchIcon(cr, icon, h * 0.62, h / 2, on);
    textCentred(
        cr, label, (w + h * 0.9) / 2, h / 2,
        {.size = size, .color = rgb(0xffffff), .outline = s.textOutline, .outlineWidth = 2.2});
}

bool drawButtons(const fs::path& dir) {
    bool ok = true;
    auto save = [&](Canvas& c, const char* name) {
        ok &= c.savePng(dir / (std::string(name) + ".png"));
    };

    // The new-game button: start, or end the running game.
    {
        Canvas c(96, 40);
        button(c.cr(), 96, 40, kGreen, "开始游戏", 15);
        save(c, "btn_ksyx");
    }
    {
        Canvas c(96, 40);
        button(c.cr(), 96, 40, kRed, "结束游戏", 15);
        save(c, "btn_jsyx");
    }
    // The start dialog's switches: the same size for on and off, as they swap in one button.
    struct Switch {
        const char* on;
        const char* off;
        const char* icon;
        const char* label;
        ButtonStyle style;
    };
    const Switch switches[] = {
        {"btn_soundon", "btn_soundoff", "sound", "音效", kBlue},
        {"btn_hinton", "btn_hintoff", "hint", "提示", kOrange},
        {"btn_crazyon", "btn_crazyoff", "crazy", "疯狂模式", kPurple},
    };
    for (const Switch& s : switches) {
        for (bool on : {true, false}) {
            Canvas c(104, 34);
            const std::string label = std::string(s.label) + (on ? " 开" : " 关");
            iconButton(c.cr(), 104, 34, on ? s.style : kGrey, s.icon, on, label, 12);
            save(c, on ? s.on : s.off);
        }
    }
    // The video button: ready, or still loading.
    {
        Canvas c(150, 38);
        iconButton(c.cr(), 150, 38, kOrange, "video", true, "看视频领代金券", 13);
        save(c, "btn_video_valid");
    }
    {
        Canvas c(150, 38);
        iconButton(c.cr(), 150, 38, kGrey, "video", false, "视频加载中…", 13);
        save(c, "btn_video_invalid");
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Notes and markers of the voucher shop and the daily gift.

void voucherTicket(cairo_t* cr, double x, double y, double w, double h) {
    roundedRectPath(cr, x, y, w, h, 3);
    fillVertical(cr, y, y + h, rgb(0xffe27a), rgb(0xf0a81a), true);
    strokeColor(cr, rgb(0xa8660a), 0.8);
    cairo_move_to(cr, x + w * 0.68, y + 2);
    cairo_line_to(cr, x + w * 0.68, y + h - 2);
    cairo_set_dash(cr, std::array<double, 2>{1.5, 1.5}.data(), 2, 0);
    strokeColor(cr, rgb(0xa8660a), 0.7);
    cairo_set_dash(cr, nullptr, 0, 0);
    textCentred(cr, "券", x + w * 0.34, y + h / 2, {.size = h * 0.5, .color = rgb(0xb3261e)});
    circle(cr, x + w * 0.84, y + h / 2, h * 0.18, rgb(0xb3261e));
}

bool drawNotes(const fs::path& dir) {
    bool ok = true;
    struct Note {
        const char* name;
        const char* text;
    };
    // With ads running, the note says that the larger packs turn them off; without ads there is
    // nothing to turn off, and the note tells what vouchers are for.
    const Note notes[] = {
        {"btn_buyvoucher_note", "购买140万及以上的代金券礼包，将永久去除游戏中的广告"},
        {"btn_buyvoucher_note1", "买房代金券可在开始游戏时兑换成启动资金，助你早日买到房子"},
    };
    for (const Note& n : notes) {
        Canvas c(260, 64);
        cairo_t* cr = c.cr();
        roundedRectPath(cr, 1, 1, 258, 62, 10);
        fillVertical(cr, 1, 63, rgb(0xfff8e6), rgb(0xffe9b8), true);
        strokeColor(cr, rgb(0xe0a040), 1.2);
        voucherTicket(cr, 10, 18, 40, 28);
        textAt(cr, n.text, 60, 12,
               {.size = 12,
                .color = rgb(0x7a3d05),
                .wrapWidth = 190,
                .lineSpacing = 1.1,
                .leftAligned = true});
        ok &= c.savePng(dir / (std::string(n.name) + ".png"));
    }
    // The marker of the day just claimed, laid over that day's tile in the gift dialog: a red
    // frame round the tile and a "已领取" tag along its foot, the rest clear so the day and its
    // amount show through.
    Canvas arrow(54, 68);
    cairo_t* cr = arrow.cr();
    roundedRectPath(cr, 1.5, 1.5, 51, 65, 6);
    strokeColor(cr, rgb(0xd8342a), 3);
    roundedRectPath(cr, 3, 50, 48, 15, 4);
    fillVertical(cr, 50, 65, rgb(0xff7a5c), rgb(0xc8201a));
    textCentred(cr, "已领取", 27, 57.5, {.size = 9.5, .color = rgb(0xffffff)});
    // A tick in a seal at the top corner.
    circle(cr, 45, 9, 7, rgb(0xd8342a));
    cairo_move_to(cr, 41.5, 9);
    cairo_line_to(cr, 44.2, 11.8);
    cairo_line_to(cr, 48.8, 6.2);
    strokeColor(cr, rgb(0xffffff), 1.6);
    ok &= arrow.savePng(dir / "bg_mrjl_jt.png");
    return ok;
}

// ---------------------------------------------------------------------------------------------
// The game's own house ads, each for a shop page.

bool drawAds(const fs::path& dir) {
    struct Ad {
        const char* title;
        const char* line;
        const char* price;
        Color top, bottom;
        int scene;  // the house drawn in the ad
    };
    const Ad ads[] = {
        {"新家好物节", "沙发 · 床垫 · 灯具 全场直降", "低至5折", rgb(0xff9a6b), rgb(0xd8342a), 0},
        {"装修一站购", "瓷砖 地板 涂料 卫浴 一次买齐", "满1000减200", rgb(0x6fd3ff), rgb(0x1f6fc0),
         4},
        {"家电焕新季", "冰箱 洗衣机 空调 以旧换新", "补贴高达800", rgb(0x9be67a), rgb(0x2f8f3a), 2},
        {"智能门锁", "指纹 密码 刷卡 三种开门方式", "限时特价", rgb(0xc59bff), rgb(0x5a2fb0), 7},
        {"搬家服务", "专业团队 准时上门 全程保障", "新客立减50", rgb(0xffd36b), rgb(0xe07a10), 8},
    };
    bool ok = true;
    int index = 1;
    for (const Ad& ad : ads) {
        constexpr double w = 280, h = 200;
        Canvas c(w, h);
        cairo_t* cr = c.cr();
        roundedRectPath(cr, 0, 0, w, h, 14);
        fillVertical(cr, 0, h, ad.top, ad.bottom);
        for (int i = 0; i < 8; ++i) {
            cairo_move_to(cr, w / 2, h * 1.2);
            cairo_arc(cr, w / 2, h * 1.2, h * 1.6, -M_PI / 2 - 0.6 + i * 0.16,
                      -M_PI / 2 - 0.52 + i * 0.16);
            cairo_close_path(cr);
        }
        fillColor(cr, {1, 1, 1, 0.08});
        textCentred(cr, ad.title, w / 2, 30,
                    {.size = 28,
                     .color = rgb(0xffffff),
                     .outline = shade(ad.bottom, -0.5),
                     .outlineWidth = 3});
        textCentred(cr, ad.line, w / 2, 60, {.size = 13, .color = rgb(0xffffff)});
        sceneInto(cr, kHouseScenes[ad.scene], 16, 80, 120, 90, 8);
        roundedRectPath(cr, 16, 80, 120, 90, 8);
        strokeColor(cr, {1, 1, 1, 0.9}, 2);
        starPath(cr, 206, 120, 42, 33, 14);
        fillColor(cr, rgb(0xfff27a), true);
        strokeColor(cr, rgb(0xe04a1a), 1.5);
        textCentred(cr, ad.price, 206, 120,
                    {.size = 15, .color = rgb(0xd8241a), .wrapWidth = 64, .lineSpacing = 0.9});
        panel(cr, 150, 164, 112, 28, 12, rgb(0xffffff), rgb(0xffe2c6), rgb(0xb85a1a));
        textCentred(cr, "点击查看 ›", 206, 178, {.size = 13, .color = rgb(0xc8401a)});
        textCentred(cr, "广告", 20, 188, {.size = 8, .color = {1, 1, 1, 0.7}, .bold = false});
        ok &= c.savePng(dir / ("ad" + std::to_string(index++) + ".png"));
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Tutorial steps: a small drawn board with the step's part lit, a numbered badge and the hint.

// The board is read from the storyboard's main scene, so the tutorial's picture of it has the
// real board's places and colours: every view shown at start, drawn as its colour or its picture's
// colour, with light bars for texts.

struct Region {
    double x = 0, y = 0, w = 0, h = 0;
    Region unite(const Region& o) const {
        if (w <= 0) return o;
        const double x0 = std::min(x, o.x), y0 = std::min(y, o.y);
        return {x0, y0, std::max(x + w, o.x + o.w) - x0, std::max(y + h, o.y + o.h) - y0};
    }
};

Region frameOf(const Json& view) {
    const auto& f = view.at("frame");
    return {f.at(0).get<double>(), f.at(1).get<double>(), f.at(2).get<double>(),
            f.at(3).get<double>()};
}

// A storyboard colour: "#rrggbb", "clear", or [r, g, b(, alpha)].
std::optional<Color> colourOf(const Json& view) {
    if (!view.contains("backgroundColor")) return std::nullopt;
    const auto& c = view.at("backgroundColor");
    if (c.is_string()) {
        const std::string text = c.get<std::string>();
        if (text.size() == 7 && text[0] == '#') return rgb(std::stoul(text.substr(1), nullptr, 16));
        return std::nullopt;  // "clear"
    }
    Color colour{c.at(0).get<double>() / 255, c.at(1).get<double>() / 255,
                 c.at(2).get<double>() / 255, c.size() > 3 ? c.at(3).get<double>() : 1};
    return colour;
}

// The colour a button's picture shows: goods tiles blue in the market and wood in the warehouse,
// the new-game button green (start) or red (end).
std::optional<Color> pictureColour(const std::string& picture) {
    if (picture.size() > 2 && picture.substr(picture.size() - 2) == "_m") return rgb(0x4db0f0);
    if (picture.size() > 2 && picture.substr(picture.size() - 2) == "_w") return rgb(0xc08a4a);
    if (picture == "btn_ksyx") return rgb(0x3fae3a);
    if (picture == "btn_jsyx") return rgb(0xd8342a);
    return std::nullopt;
}

struct Board {
    Json scene;                             // the main scene's view
    std::map<std::string, Region> outlets;  // by outlet name, in screen points
};

void collectOutlets(const Json& view, double ox, double oy, Board& board) {
    for (const auto& sub : view.value("subviews", Json::array())) {
        const Region f = frameOf(sub);
        const Region at{ox + f.x, oy + f.y, f.w, f.h};
        if (sub.contains("outlet")) board.outlets[sub.at("outlet").get<std::string>()] = at;
        collectOutlets(sub, at.x, at.y, board);
    }
}

std::optional<Board> readBoard(const fs::path& storyboard) {
    std::ifstream in(storyboard);
    Json json = Json::parse(in, nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    for (const auto& scene : json.value("scenes", Json::array())) {
        if (scene.value("id", "") != json.value("initialScene", "")) continue;
        Board board{scene.at("view"), {}};
        collectOutlets(board.scene, 0, 0, board);
        return board;
    }
    return std::nullopt;
}

// The warehouse slots the tutorial's board leaves empty, as its mock-up does.
bool emptyInTutorial(const std::string& outlet) {
    for (const char* prefix : {"bwslot", "twslot", "tnwslot"}) {
        const std::string p = prefix;
        if (outlet.rfind(p, 0) == 0 && outlet.size() == p.size() + 1 && outlet.back() >= '3')
            return true;
    }
    return false;
}

void drawBoardView(cairo_t* cr, const Json& view, double ox, double oy) {
    for (const auto& sub : view.value("subviews", Json::array())) {
        if (sub.value("hidden", false)) continue;
        const std::string outlet = sub.value("outlet", "");
        if (emptyInTutorial(outlet)) continue;
        const Region f = frameOf(sub);
        const double x = ox + f.x, y = oy + f.y;
        const std::string type = sub.value("type", "view");
        std::optional<Color> colour = colourOf(sub);
        if (type == "button" && sub.contains("backgroundImages"))
            colour = pictureColour(sub.at("backgroundImages").value("normal", ""));
        if (colour) {
            roundedRectPath(cr, x, y, f.w, f.h, type == "button" ? 8 : 0);
            fillColor(cr, *colour);
        }
        if (type == "label" || (type == "button" && sub.contains("titles"))) {
            // A text: a light bar across its middle, as wide as a short word.
            const double bw = std::min(f.w * 0.6, 60.0), bh = std::min(f.h * 0.45, 12.0);
            roundedRectPath(cr, x + (f.w - bw) / 2, y + (f.h - bh) / 2, bw, bh, bh / 2);
            fillColor(cr, {1, 1, 1, type == "label" ? 0.55 : 0.8});
        }
        drawBoardView(cr, sub, x, y);
    }
}

void miniBoard(cairo_t* cr, const Board& board) {
    cairo_rectangle(cr, 0, 0, 320, 568);
    fillColor(cr, colourOf(board.scene).value_or(rgb(0x1f3a56)));
    drawBoardView(cr, board.scene, 0, 0);
}

struct Step {
    const char* title;
    const char* hint;
    std::vector<const char*> parts;  // the outlets lit together
};
const Step kSteps[] = {
    {"开始游戏", "点击“开始游戏”，带着3000块钱开始一年的买房挑战。", {"bnewgame"}},
    {"换市场",
     "点击三个市场按钮，去另一个市场做买卖。每换一次地方，就过去一周。",
     {"market1", "market2", "market3"}},
    {"银行", "把现金全部存进银行，或全部取出。存款每周都有利息。", {"bbank"}},
    {"医院", "健康值下降了就去医院治疗，身体太差会晕倒在街头。", {"bhospital"}},
    {"中介", "仓库放不下了？找中介花钱扩建仓库空间。", {"bagent"}},
    {"售楼处", "攒够了钱就去售楼处买房。房价每周都在上涨，要抓紧！", {"bhouseseller"}},
    {"目标和时间",
     "上方是选中房子的价格，右边是第几周。52周内买到房子就成功了！",
     {"thouseprice", "tdate"}},
    {"你的家当", "这里是现金、存款、健康和声望。", {"tcash", "tdeposit", "thealth", "treputation"}},
    {"市场",
     "这里是今天市场上的商品和价格。点击商品就能买入，低买高卖赚差价。",
     {"bmslot1", "bmslot5", "tmslot1", "tmslot5"}},
    {"仓库",
     "买来的商品放在仓库里，显示买入均价和数量。点击商品就能卖出。",
     {"twstatus", "bwslot1", "bwslot5", "tnwslot1", "tnwslot5"}},
};

// The part of the board a step lights: its outlets together, with a small margin.
std::optional<Region> spotOf(const Step& step, const Board& board) {
    Region spot;
    for (const char* outlet : step.parts) {
        auto it = board.outlets.find(outlet);
        if (it == board.outlets.end()) return std::nullopt;
        spot = spot.unite(it->second);
    }
    return Region{spot.x - 4, spot.y - 4, spot.w + 8, spot.h + 8};
}

void helpStep(cairo_t* cr,
              int number,
              const Step& step,
              const Board& board,
              const Region& spot,
              double w,
              double h) {
    // Opaque, so that nothing of the board under the picture shows through its text.
    roundedRectPath(cr, 1, 1, w - 2, h - 2, 14);
    fillVertical(cr, 0, h, rgb(0x1b2a3d), rgb(0x0c1420), true);
    strokeColor(cr, rgb(0xffd24a), 1.5);
    // The board, scaled into the left side.
    constexpr double boardScale = 0.27;
    const double bx = 12, by = (h - 568 * boardScale) / 2;
    cairo_save(cr);
    cairo_translate(cr, bx, by);
    cairo_scale(cr, boardScale, boardScale);
    roundedRectPath(cr, 0, 0, 320, 568, 24);
    cairo_clip(cr);
    miniBoard(cr, board);
    // Dim everything but the lit part.
    cairo_rectangle(cr, 0, 0, 320, 568);
    roundedRectPath(cr, spot.x, spot.y, spot.w, spot.h, 12);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    fillColor(cr, {0, 0, 0, 0.6});
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    roundedRectPath(cr, spot.x, spot.y, spot.w, spot.h, 12);
    strokeColor(cr, rgb(0xffd24a), 9);
    cairo_reset_clip(cr);
    cairo_restore(cr);
    roundedRectPath(cr, bx, by, 320 * boardScale, 568 * boardScale, 24 * boardScale);
    strokeColor(cr, rgb(0x8fb0d0), 1);

    // The arrow from the hint to the lit part.
    const double tx = bx + 320 * boardScale + 14;
    const double sy = by + (spot.y + spot.h / 2) * boardScale;
    const double sx = bx + 320 * boardScale;  // the board's edge, level with the lit part
    cairo_move_to(cr, tx + 4, 36);
    cairo_curve_to(cr, tx - 6, 36, sx + 14, sy, sx + 4, sy);
    strokeColor(cr, rgb(0xffd24a), 1.6);
    cairo_move_to(cr, sx + 1, sy);
    cairo_line_to(cr, sx + 8, sy - 4);
    cairo_line_to(cr, sx + 8, sy + 4);
    cairo_close_path(cr);
    fillColor(cr, rgb(0xffd24a));

    // Badge, title and hint.
    circle(cr, tx + 18, 30, 15, rgb(0xffd24a));
    textCentred(cr, std::to_string(number), tx + 18, 30, {.size = 16, .color = rgb(0x5a3200)});
    textAt(cr, step.title, tx + 40, 18, {.size = 17, .color = rgb(0xffd24a)});
    textAt(cr, step.hint, tx + 4, 54,
           {.size = 13.5,
            .color = rgb(0xffffff),
            .bold = false,
            .wrapWidth = w - tx - 14,
            .lineSpacing = 1.15,
            .leftAligned = true});
    textCentred(cr, std::to_string(number) + " / 10", w - 30, h - 14,
                {.size = 10, .color = rgb(0x8fb0d0), .bold = false});
}

bool drawHelp(const fs::path& dir, const fs::path& storyboard) {
    const auto board = readBoard(storyboard);
    if (!board) {
        std::fprintf(stderr, "qen_resgen: cannot read the board from %s\n", storyboard.c_str());
        return false;
    }
    bool ok = true;
    for (int i = 0; i < 10; ++i) {
        const auto spot = spotOf(kSteps[i], *board);
        if (!spot) {
            std::fprintf(stderr, "qen_resgen: the board has no %s\n", kSteps[i].parts.front());
            return false;
        }
        constexpr double w = 300, h = 180;
        Canvas c(w, h);
        helpStep(c.cr(), i + 1, kSteps[i], *board, *spot, w, h);
        ok &= c.savePng(dir / ("help" + std::to_string(i + 1) + ".png"));
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// The records screen's rows and the icon used as the share thumbnail.

bool drawRecordRows(const fs::path& dir) {
    const std::array<std::pair<Color, Color>, 3> tints = {{
        {rgb(0xfff4d6), rgb(0xffe3a3)},
        {rgb(0xe3f4ff), rgb(0xb9e0fb)},
        {rgb(0xe9fbe0), rgb(0xc4ecb0)},
    }};
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        constexpr double w = 320, h = 60;
        Canvas c(w, h);
        cairo_t* cr = c.cr();
        roundedRectPath(cr, 4, 3, w - 8, h - 6, 10);
        fillVertical(cr, 3, h - 3, tints[i].first, tints[i].second, true);
        strokeColor(cr, shade(tints[i].second, -0.3), 1);
        // A small roof mark at the left and faint stripes.
        cairo_move_to(cr, 14, 32);
        cairo_line_to(cr, 26, 21);
        cairo_line_to(cr, 38, 32);
        strokeColor(cr, shade(tints[i].second, -0.45), 2);
        rect(cr, 18, 31, 16, 11, shade(tints[i].second, -0.3));
        for (int k = 0; k < 6; ++k)
            rect(cr, 60 + k * 44, 8, 20, h - 16, {1, 1, 1, 0.12});
        ok &= c.savePng(dir / ("background_recordcell" + std::to_string(i + 1) + ".png"));
    }
    return ok;
}

bool drawIcon(const fs::path& dir) {
    // 180 pixels square, as the name says.
    constexpr double s = 180 / kScale;
    Canvas c(s, s);
    cairo_t* cr = c.cr();
    roundedRectPath(cr, 0, 0, s, s, 18);
    fillVertical(cr, 0, s, rgb(0xffb347), rgb(0xf0601e));
    circle(cr, 70, 20, 10, rgb(0xfff2a6, 0.9));
    // A house with a coin on its door.
    cairo_move_to(cr, 45, 14);
    cairo_line_to(cr, 80, 44);
    cairo_line_to(cr, 10, 44);
    cairo_close_path(cr);
    fillColor(cr, rgb(0xc8201a), true);
    strokeColor(cr, rgb(0xffffff), 2);
    rect(cr, 18, 43, 54, 34, rgb(0xffffff));
    circle(cr, 45, 61, 11, rgb(0xffd24a));
    circle(cr, 45, 61, 8.5, rgb(0xf0a81a));
    textCentred(cr, "¥", 45, 61, {.size = 12, .color = rgb(0xffffff)});
    rect(cr, 24, 50, 8, 8, rgb(0x7fc8ff));
    rect(cr, 58, 50, 8, 8, rgb(0x7fc8ff));
    textCentred(cr, "52周", 45, 83, {.size = 11, .color = rgb(0xffffff), .outline = rgb(0xa8300a)});
    return c.savePng(dir / "icon180.png");
}

// The launch picture, shown by the window while the game starts: the city at dusk under the
// game's name, in the board's colours, the whole 320 x 568-point screen.
bool drawLaunch(const fs::path& dir) {
    constexpr double w = 320, h = 568;
    Canvas c(w, h);
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, rgb(0x132638), rgb(0x2b5d8a));
    for (int half = 0; half < 2; ++half) {
        cairo_save(cr);
        cairo_translate(cr, half * 160, 0);
        stars(cr, 24, 260, 7 + half);
        cairo_restore(cr);
    }
    circle(cr, 256, 70, 22, rgb(0xfff2a6, 0.9));
    circle(cr, 266, 63, 20, rgb(0x152a3f));  // a crescent moon
    // The skyline: back row dim, front row lit.
    const Facade back{.wall = rgb(0x23476a), .window = rgb(0x1b3550), .litShare = 0.2};
    const Facade front{.wall = rgb(0x2f5f8c), .window = rgb(0x224a70), .litShare = 0.45};
    const double base = 540;
    const double backRow[][2] = {{0, 140},   {52, 180},  {104, 150},
                                 {150, 195}, {206, 160}, {262, 185}};
    for (const auto& [x, height] : backRow)
        building(cr, x, base, 58, height, back);
    const double frontRow[][3] = {{-6, 60, 90},   {48, 44, 120}, {96, 70, 95},
                                  {170, 52, 125}, {226, 64, 85}, {286, 40, 110}};
    for (const auto& [x, bw, height] : frontRow)
        building(cr, x, base, bw, height, front);
    rect(cr, 0, base, w, h - base, rgb(0x10263b));
    rect(cr, 0, base, w, 3, rgb(0xffd24a, 0.8));
    // A small house with its key: what the year is for.
    cairo_move_to(cr, 160, 110);
    cairo_line_to(cr, 206, 150);
    cairo_line_to(cr, 114, 150);
    cairo_close_path(cr);
    fillColor(cr, rgb(0xe76f51), true);
    strokeColor(cr, rgb(0xfff8e7), 3);
    rect(cr, 124, 149, 72, 46, rgb(0xfff8e7));
    rect(cr, 152, 165, 16, 30, rgb(0xf08a24));
    rect(cr, 132, 158, 14, 14, rgb(0x7fc8ff));
    rect(cr, 174, 158, 14, 14, rgb(0x7fc8ff));
    textCentred(cr, "一年买房", w / 2, 250,
                {.size = 46, .color = rgb(0xffd24a), .outline = rgb(0x5a3200), .outlineWidth = 5});
    textCentred(cr, "52周，3000块，一套房", w / 2, 300,
                {.size = 16, .color = rgb(0xfff8e7), .bold = false});
    return c.savePng(dir / "LaunchImage.png");
}

}  // namespace

bool drawPictures(const fs::path& folder, const fs::path& storyboard) {
    bool ok = true;
    ok &= drawHouses(folder);
    ok &= drawSuccesses(folder);
    ok &= drawSelectionFrames(folder);
    ok &= drawGoods(folder);
    ok &= drawButtons(folder);
    ok &= drawNotes(folder);
    ok &= drawAds(folder);
    ok &= drawHelp(folder, storyboard);
    ok &= drawRecordRows(folder);
    ok &= drawIcon(folder);
    ok &= drawLaunch(folder);
    return ok;
}

}  // namespace resgen
