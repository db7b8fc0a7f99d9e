// The orientation of a line segment: degrees clockwise from north, 0 to 180, the same
// whichever way the segment runs.
#pragma once

namespace plenth {

// From (x1, y1) to (x2, y2): north-east and south-west give 0 to 90, south-east and
// north-west 90 to 180; east or west and a segment of no length give 90; due south 0 and
// due north 180.
double SegmentOrientation(double x1, double y1, double x2, double y2);

}  // namespace plenth
