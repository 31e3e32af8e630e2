// The Lanczos 4 kernel built for AVX2.
#define KORVALE_LANCZOS_ROWS LanczosRowsAvx2
#include "LanczosRowsImpl.inl"
