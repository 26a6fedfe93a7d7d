// The floating windows of the desktop program and the widget state they share.
#pragma once
#include "support/widgets.h"
#include "ui/console.h"
#include "ui/extend_cut.h"
#include "ui/new_project.h"
#include "ui/file_chooser.h"
#include "ui/save_format.h"
#include "ui/volume_limiter.h"
#include "ui/audio_output.h"
#include "ui/about.h"
#include "ui/open_import.h"
#include "ui/analysis_params.h"
#include "ui/progress_window.h"

struct UiState {
    WidgetContext ctx;
    WidgetInput pending;             // gathered from the events of this frame
    Console console;
    ExtendCutDialog extend_cut;
    NewProjectDialog new_project;
    SaveFormatDialog save_format;
    VolumeLimiterDialog volume_limiter;
    AudioOutputDialog audio_output;
    AboutDialog about;
    OpenImportDialog open_import;
    AnalysisParamsDialog analysis;
    ProgressWindow load_progress;    // shown while a file loads on the loader thread
    FileChooser chooser;             // one file chooser at a time, for every window
};
