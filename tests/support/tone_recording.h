#pragma once
// The recording the sound tests play: 160 x 120 pictures, a steady 1 kHz tone and no vehicle
// records, so that what reaches the device can be told from silence.

#include "tools/recgen/recgen.h"

inline recgen::RecordingSpec ToneRecipe(int fps, double seconds)
{
    recgen::RecordingSpec recipe;
    recipe.width = 160;
    recipe.height = 120;
    recipe.fps = fps;
    recipe.seconds = seconds;
    recipe.tone_hz = 1000.0;
    recipe.info_hz = 0;
    return recipe;
}
