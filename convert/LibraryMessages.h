// The image libraries print their own complaints, in English, on standard error; the program
// says in its own words what went wrong with a file, so theirs are turned off.
#pragma once

namespace korvale {

// Once per process, before the first image is decoded or encoded; later calls do nothing.
// OpenCV's log and error output, libtiff's handlers and the messages that OpenCV's imread
// writes to std::cerr when a decoder throws (no setting turns those off) are silenced.
void SilenceLibraryMessages();

}  // namespace korvale
