// Media kind and capture mode share one numbering: 1 means movies, any other value stills.
#pragma once

inline constexpr int CAMMODE_PICT = 0;
inline constexpr int CAMMODE_MOV = 1;

inline bool IsMovieKind(int kind) {
    return kind == CAMMODE_MOV;
}
