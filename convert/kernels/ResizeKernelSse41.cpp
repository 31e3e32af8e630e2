// The Lanczos 4 kernel built for SSE4.1.
#define KORVALE_LANCZOS_ROWS LanczosRowsSse41
#include "LanczosRowsImpl.inl"
