#pragma once
// The entry point of the PNG plot module, and where the tool finds it.

#include "analysis/PracticeChart.h"

#include <string>

using OrvoChartDraw = void (*)(IChartCanvas& canvas, void* context);

// Paints width x height through draw and saves it as PNG at path; false with
// a message in error when it cannot be written.
using OrvoSaveChartPng = bool (*)(const char* path, int width, int height, OrvoChartDraw draw, void* context,
                                  std::string* error);
inline constexpr const char* kOrvoSaveChartPng = "orvo_save_chart_png";
