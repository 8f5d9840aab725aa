#pragma once
// A recording of pictures only: no sound, no vehicle records, for tests that judge pictures.

#include "tools/recgen/recgen.h"

inline recgen::RecordingSpec PicturesRecipe(int width, int height, int fps, int gop, double seconds)
{
    recgen::RecordingSpec recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.fps = fps;
    recipe.gop = gop;
    recipe.seconds = seconds;
    recipe.audio = false;
    recipe.info_hz = 0;
    return recipe;
}
