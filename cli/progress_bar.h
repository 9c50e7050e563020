#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal.
namespace orve::cli {

class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar() { Clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Draws the bar at `fraction` (0..1), at most once per half percent.
    void Show(double fraction);
    // Takes the bar off the line, so that a message starts on a clean line;
    // the next Show draws it again.
    void Clear();

private:
    bool enabled;
    bool drawn = false;
    int shown = -1;   // the last half-percent step drawn
};

}  // namespace orve::cli
