// Where the keeper's tests keep their diaries: two safety roots, and a diary per drive letter.
#pragma once

#include <vector>

#include "safety/diary_keeper.h"

inline const std::vector<FsPath> kRoots = {L"L\\Quillidar\\", L"L\\Quillidar.safety\\"};

inline DiaryPlace PlaceOf(wchar_t letter) {
    const FsPath folder = FsPath(1, letter) + L"\\";
    return {folder + L"nts.ini", kRoots, L"C:\\USERS\\" + folder};
}
