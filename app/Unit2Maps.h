// The body's maps, the rings and the sky: which pictures decode, at which size, and when
// they take the place of those shown. Shared by the selection and the handlers.
#pragma once

#include "app/Unit2Catalogue.h"

namespace sphaerix {

class TForm2;
class TTextureMaterialSource;

const char* RingResourceName(TBodyRing ARing);
// The ring material of body AIndex, none for a body without a ring.
TTextureMaterialSource* RingSourceOf(TForm2* f, int AIndex);
// Starts decoding AIndex's map and the ring it needs on workers, unless they are in place
// or on their way.
void PrepareBody(TForm2* f, int AIndex);
// Once the first frame is shown or the camera's distance changed: the whole sky, and the
// body's map at the size the distance needs.
void StartFullMap(TForm2* f);

}  // namespace sphaerix
