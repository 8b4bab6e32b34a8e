#include "engine/jpeg/JpegStructure.h"

namespace glintmark {

JpegStatus jpegStatus(const JpegStructure& structure, std::uint64_t size)
{
    if (structure.end)
        return *structure.end < size ? JpegStatus::Trailing : JpegStatus::Whole;
    if (structure.problem == JpegProblem::CutInSegment ||
        structure.problem == JpegProblem::CutInScan)
        return JpegStatus::CutShort;
    return JpegStatus::Damaged;
}

const char* statusName(JpegStatus status)
{
    switch (status) {
    case JpegStatus::Whole:
        return "whole";
    case JpegStatus::Trailing:
        return "trailing";
    case JpegStatus::CutShort:
        return "cut-short";
    case JpegStatus::Damaged:
        return "damaged";
    }
    return "damaged";
}

const char* codingName(JpegCoding coding)
{
    switch (coding) {
    case JpegCoding::Unknown:
        return "unknown";
    case JpegCoding::Baseline:
        return "baseline";
    case JpegCoding::Extended:
        return "extended";
    case JpegCoding::Progressive:
        return "progressive";
    case JpegCoding::Lossless:
        return "lossless";
    }
    return "unknown";
}

const char* problemName(JpegProblem problem)
{
    switch (problem) {
    case JpegProblem::None:
        return "none";
    case JpegProblem::BadLength:
        return "bad-length";
    case JpegProblem::BadMarker:
        return "bad-marker";
    case JpegProblem::BadFrame:
        return "bad-frame";
    case JpegProblem::NoFrame:
        return "no-frame";
    case JpegProblem::NoScan:
        return "no-scan";
    case JpegProblem::CutInSegment:
        return "cut-in-segment";
    case JpegProblem::CutInScan:
        return "cut-in-scan";
    }
    return "none";
}

const char* problemText(JpegProblem problem)
{
    switch (problem) {
    case JpegProblem::None:
        return "no problem";
    case JpegProblem::BadLength:
        return "bad segment length";
    case JpegProblem::BadMarker:
        return "misplaced marker";
    case JpegProblem::BadFrame:
        return "bad frame header";
    case JpegProblem::NoFrame:
        return "no frame header";
    case JpegProblem::NoScan:
        return "no image data";
    case JpegProblem::CutInSegment:
        return "cut inside a segment";
    case JpegProblem::CutInScan:
        return "cut inside the image data";
    }
    return "no problem";
}

} // namespace glintmark
