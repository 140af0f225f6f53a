// Guide window mode and the frame writer: sizing the guide pixels of a frame,
// and saving a frame as FITS with its guide windows split off as a cube and
// its pixels sorted from readout-channel order when the group asks for it.
#include "mainwindow.h"

#include "framefile.h"
#include "framelayout.h"
#include "ui_mainwindow.h"

#include <new>

namespace {

// The guide fields as typed. Values too large for their field are kept as
// typed so that the layout check refuses them instead of wrapping them.
Frames::GuideLayout GuideLayoutOfTab(const Ui::MainWindow *ui)
{
    Frames::GuideLayout layout;
    layout.windowWidth = ui->txtGuideX->text().trimmed().toUInt();
    layout.windowHeight = ui->txtGuideY->text().trimmed().toUInt();
    layout.reads = ui->txtGuideReads->text().trimmed().toULongLong();
    layout.startRows = ui->txtGuideStart->text().trimmed().toUInt();
    layout.rowsBetween = ui->txtGuideRows->text().trimmed().toUInt();
    layout.endWindow = ui->chkGuideEnd->isChecked();
    return layout;
}

QString Text(const std::string &s)
{
    return QString::fromStdString(s);
}

}  // namespace

void MainWindow::on_chkGuide_stateChanged(int state)
{
    const bool on = state == Qt::Checked;
    ui->grpGuide->setEnabled(on);
    ui->chkSaveGuide->setEnabled(on);
}

// Sets guidePixels for the layout on the tab; 0 (and true) when guide mode is off.
bool MainWindow::VerifyGuideModeParams()
{
    guidePixels = 0;
    if (!ui->chkGuide->isChecked())
        return true;
    const Frames::GuideCheck check = Frames::CheckGuideLayout(GuideLayoutOfTab(ui), imgWidth, imgHeight);
    if (!check.ok) {
        Log(Text(check.message));
        return false;
    }
    guidePixels = check.guidePixels;
    return true;
}

// Saves one frame of pixelCount pixels as name + ".fits", an image of
// width × height:
//  1. refuse sort settings that do not fit the row, before any file is made;
//  2. guide mode: take the image rows and the guide blocks apart, and save the
//     guide blocks as the cube name + "_guide.fits" when asked to;
//  3. sort the image rows from readout-channel order when the group asks for it;
//  4. write the image.
// A frame that does not match its layout is reported and saved as far as it
// goes; every failure makes the result false. Only complete files stay on disk.
bool MainWindow::WriteFitsFilePushort(const QString &name, quint16 width, quint16 height, const quint16 *pixels,
                                      quint32 pixelCount)
{
    const QString fileName = name + QStringLiteral(".fits");
    const auto imageFailed = [&](const QString &why) {
        Log(QStringLiteral("Saving image to ") + fileName + QStringLiteral(" failed. ") + why);
        return false;
    };
    if (width == 0 || height == 0)
        return imageFailed(QStringLiteral("Invalid image size %1 x %2").arg(width).arg(height));

    Frames::SortSettings sort;
    if (const PELRA_Global::AcqParam *g = SelectedAcqParam()) {
        sort.mode = g->sortMode;
        sort.channels = g->sortChans;
        sort.headers = g->sciHeaders;
    }
    const std::string sortRefusal = Frames::CheckSortSettings(sort, width);
    if (!sortRefusal.empty())
        return imageFailed(Text(sortRefusal));

    bool ok = true;
    const size_t imagePixels = size_t(width) * height;
    std::vector<uint16_t> image;
    if (guidePixels != 0) {
        const Frames::GuideLayout layout = GuideLayoutOfTab(ui);
        const bool saveGuide = ui->chkSaveGuide->isChecked();
        Frames::GuideSplit split =
            Frames::SplitGuideFrame(pixels, pixelCount, width, height, layout, guidePixels, saveGuide);
        if (!split.ok) {
            Log(Text(split.message));
            ok = false;
        }
        if (saveGuide && !split.guide.empty()) {
            const QString guideName = name + QStringLiteral("_guide.fits");
            const std::array<long, 3> axes = Frames::GuideCubeAxes(layout, guidePixels);
            const Frames::FrameFileResult saved =
                Frames::WriteUShortFits(QFile::encodeName(guideName).toStdString(), {axes.begin(), axes.end()},
                                        split.guide.data(), split.guide.size());
            if (!saved.ok) {
                Log((saved.closeFailed ? QStringLiteral("Closing ") : QStringLiteral("Saving guide windows to "))
                    + guideName + QStringLiteral(" failed"));
                ok = false;
            }
        }
        image = std::move(split.image);
        if (image.empty())
            return imageFailed(QStringLiteral("not enough memory for the frame"));
    } else if (sort.mode != 0) {
        try {
            image.assign(pixels, pixels + qMin<size_t>(pixelCount, imagePixels));
        } catch (const std::bad_alloc &) {
            return imageFailed(QStringLiteral("not enough memory for the frame"));
        }
    }

    std::string sortFailure;
    if (sort.mode != 0 && !Frames::SortChannels(image.data(), image.size(), width, height, sort, &sortFailure)) {
        Log(Text(sortFailure));
        ok = false;
    }

    const bool copied = guidePixels != 0 || sort.mode != 0;
    const Frames::FrameFileResult saved =
        Frames::WriteUShortFits(QFile::encodeName(fileName).toStdString(), {long(width), long(height)},
                                copied ? image.data() : pixels, copied ? image.size() : pixelCount);
    if (!saved.ok) {
        if (saved.closeFailed)
            Log(QStringLiteral("Closing ") + fileName + QStringLiteral(" failed"));
        else
            imageFailed(Text(saved.errorText));
        ok = false;
    }
    return ok;
}
