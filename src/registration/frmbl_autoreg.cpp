// "Совместить автоматически" of the main window: pictures 2 and 3 registered on picture 1 by
// their stars on the job runner, then shown turned, scaled and laid over picture 1, with their
// points on two reference stars; and the same view given back to an opened project.

#include "common/jobrunner.h"
#include "registration/autoregistration.h"
#include "shell/clicklabel.h"
#include "shell/frmbl.h"
#include "shell/prompter.h"
#include "shell/sharedstate.h"
#include "sky/picturesky.h"
#include "sky/wcsregistration.h"
#include "view/imageframe.h"
#include "view/twips.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <memory>

namespace vorlan {

namespace {

const QString RegistrationTitle = QStringLiteral("Совмещение автоматически");

/// What a job's progress looks like in txtInfo: the step and how far the run has come.
QString progressLine(const JobProgress& p) {
    return p.text + QStringLiteral(" — %1 %").arg(p.total > 0 ? p.done * 100 / p.total : 0);
}

/// What the window shows of its slots (which frames, which label lit, the point captions), put
/// back after work that had to rescale slots in passing.
class KeptView {
  public:
    explicit KeptView(frmBl& f) : m_f(f), m_t1(f.lblT1->text()), m_t2(f.LblT2->text()) {
        for (int k = 1; k <= 3; ++k) {
            m_visible[k - 1] = f.Img(k)->isVisible();
            m_colour[k - 1] = f.Lbl(k)->backColor();
        }
    }
    ~KeptView() {
        for (int k = 1; k <= 3; ++k) {
            m_f.Img(k)->setVisible(m_visible[k - 1]);
            m_f.Lbl(k)->setBackColor(m_colour[k - 1]);
        }
        m_f.lblT1->setText(m_t1);
        m_f.LblT2->setText(m_t2);
    }
    KeptView(const KeptView&) = delete;
    KeptView& operator=(const KeptView&) = delete;

  private:
    frmBl& m_f;
    QString m_t1, m_t2;
    bool m_visible[3] = {};
    QColor m_colour[3];
};

} // namespace

void frmBl::mnuAutoSovm_Click() {
    if (jobs().busy()) return; // refused while long work runs, as every long run is
    if (Img1->picture().isNull() || Img2->picture().isNull()) return;
    // The slots' decoded pictures, shared with the worker, not copied; their keys tell at the end
    // whether a slot still holds the picture that was registered.
    const QImage one = Img1->picture();
    QVector<QPair<int, QImage>> others;
    QVector<std::optional<SimilarityTransform>> skyGuesses;
    QList<qint64> keys{one.cacheKey()};
    const SkyWcs* sky1 = pictureSky().wcsInForce();
    for (int k = 2; k <= 3; ++k) {
        if (Img(k)->picture().isNull()) continue;
        others.append({k, Img(k)->picture()});
        keys << Img(k)->picture().cacheKey();
        // Where the stars cannot be matched, the WCSs of both pictures may still register them.
        skyGuesses.append(wcsGuess(sky1, HeaderWcs(State().FileName(k))));
    }
    auto result = std::make_shared<AutoRegistration>();
    const QString before = txtInfo->toPlainText();
    const bool started = startJob(
        RegistrationTitle,
        [one, others, skyGuesses, result](JobControl& control) {
            *result = registerOnPicture1(one, others, &control, skyGuesses);
        },
        [this](const JobProgress& p) { txtInfo->setPlainText(progressLine(p)); },
        [this, result, keys, before](const JobEnd& end) {
            unsetCursor();
            end.rethrowFailure();
            if (!result->anyRegistered()) txtInfo->setPlainText(before);
            applyAutoRegistration(*result, keys);
        });
    if (!started) return;
    txtInfo->setPlainText(RegistrationTitle + QStringLiteral("…"));
    setCursor(Qt::BusyCursor);
}

void frmBl::applyAutoRegistration(const AutoRegistration& result, const QList<qint64>& pictureKeys) {
    if (result.stopped) return;
    QStringList lines, failures;
    QList<const RegisteredPicture*> registered;
    for (int i = 0; i < result.pictures.size(); ++i) {
        const RegisteredPicture& r = result.pictures[i];
        // A picture loaded while the run went on is not the one registered.
        const bool replaced = Img1->picture().cacheKey() != pictureKeys.value(0) ||
                              Img(r.picture)->picture().cacheKey() != pictureKeys.value(i + 1);
        const Outcome<StarMatch> match =
            replaced ? Failure{InvalidValue, QStringLiteral("Снимки сменились, пока шло совмещение.")}
                     : r.match;
        if (match.ok()) {
            registered << &r;
            lines << registrationSummary(r.picture, match.value());
        } else {
            failures << registrationFailure(r.picture, match.failure());
            lines << QStringLiteral("Снимок %1 не совмещён.").arg(r.picture);
        }
    }
    if (!registered.isEmpty()) {
        SharedState& s = State();
        for (const RegisteredPicture* r : registered)
            showRegistered(r->picture, r->match.value().transform, r->turned,
                           s.DisplayScale1 * float(r->match.value().transform.scale()));
        // The points as clicks on the registered view would set them, picture 1's first.
        // (Replayed in twips only because hand marking keeps its points so; the slot should take
        // them in pixels directly.)
        for (int p = 1; p <= 2; ++p)
            markPoint(1, p, toTwips(result.points[p - 1]));
        for (const RegisteredPicture* r : registered) {
            for (int p = 1; p <= 2; ++p)
                markPoint(r->picture, p, toTwips(r->points[p - 1]));
            overlaySlot(r->picture);
        }
        ShowSlot(1);
        txtInfo->setPlainText(lines.join(QLatin1Char('\n')));
    }
    if (!failures.isEmpty())
        Prompter::instance().message(this, failures.join(QStringLiteral("\n\n")), QMessageBox::Warning);
}

void frmBl::showRegistered(int k, const SimilarityTransform& toPicture1, const QImage& turned, float scale) {
    ImageFrame* img = Img(k);
    if (turned.isNull())
        img->clearTurn();
    else
        img->setTurnedPicture(turned, pictureTurn(toPicture1, img->picture().size()).toShown);
    img->setRegistration(toPicture1);
    setExactScale(k, scale);
}

void frmBl::restoreRegistrations(const QList<SlotRegistration>& registered) {
    struct Turning {
        SlotRegistration r;
        QImage picture;
        QImage turned;
    };
    auto turning = std::make_shared<QVector<Turning>>();
    {
        KeptView kept(*this);
        for (const SlotRegistration& r : registered) {
            ImageFrame* img = Img(r.slot);
            if (img->picture().isNull()) continue;
            img->setRegistration(r.toPicture1);
            if (needsTurn(r.toPicture1)) {
                turning->push_back({r, img->picture(), QImage()});
                continue;
            }
            showRegistered(r.slot, r.toPicture1, QImage(), r.scale);
            overlaySlot(r.slot);
        }
    }
    if (turning->isEmpty()) return;
    whenJobsFree([this, turning] {
        const bool started = startJob(
            QStringLiteral("Поворот снимков"),
            [turning](JobControl& control) {
                for (Turning& t : *turning) {
                    const PictureTurn turn = pictureTurn(t.r.toPicture1, t.picture.size());
                    t.turned = turnPicture(t.picture, turn, &control,
                                           QStringLiteral("Поворот снимка %1").arg(t.r.slot));
                    if (control.stopRequested()) return;
                }
            },
            {},
            [this, turning](const JobEnd& end) {
                unsetCursor();
                end.rethrowFailure();
                if (end.stopped) return;
                KeptView kept(*this);
                for (const Turning& t : std::as_const(*turning)) {
                    ImageFrame* img = Img(t.r.slot);
                    // Shown only while the slot still holds that picture with that registration.
                    if (img->picture().cacheKey() != t.picture.cacheKey() || !img->registration() ||
                        img->registration()->a != t.r.toPicture1.a ||
                        img->registration()->b != t.r.toPicture1.b)
                        continue;
                    if (t.turned.isNull()) {
                        Prompter::instance().message(
                            this, turnedTooLargeReason(pictureTurn(t.r.toPicture1, t.picture.size()).size),
                            QMessageBox::Warning);
                        continue;
                    }
                    showRegistered(t.r.slot, t.r.toPicture1, t.turned, t.r.scale);
                    overlaySlot(t.r.slot);
                }
            });
        if (started) setCursor(Qt::BusyCursor);
    });
}

void frmBl::whenJobsFree(const std::function<void()>& f) {
    if (!jobs().busy()) {
        f();
        return;
    }
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(&jobs(), &JobRunner::finished, this, [this, f, once] {
        disconnect(*once);
        whenJobsFree(f);
    });
}

} // namespace vorlan
