// The images of the output list, by their index in its image list.
#pragma once

namespace ids {

constexpr int kImageFailure = 0;
constexpr int kImageSuccess = 1;
constexpr int kImageStep = 2;
constexpr int kImageInfo = 3;
constexpr int kImageBaseStation = 4;
constexpr int kImageSilent = 5;

}  // namespace ids
