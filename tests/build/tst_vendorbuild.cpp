// Building PAC for real cards: a folder laid out like the vendor's install of
// the USB bridge library (its header and a shared library, here made from our
// stand-in) is named at configure time, and pac is then linked against it.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString output;
};

Run Execute(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.output = QStringLiteral("%1 did not finish in time").arg(program);
        return run;
    }
    run.output = QString::fromLocal8Bit(process.readAll());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

}  // namespace

class TestVendorBuild : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void missingVendorLibrary_fallsBackToTheStandIn();
    void vendorFolder_isReportedAndLinkedIntoPac();

private:
    QString Configure(const QString &buildDir, const QString &vendorDir);

    QTemporaryDir work;
    QString vendor;
};

void TestVendorBuild::initTestCase()
{
    QVERIFY(work.isValid());
    vendor = work.filePath(QStringLiteral("vendor"));
    QVERIFY(QDir().mkpath(vendor + QStringLiteral("/include")));
    QVERIFY(QDir().mkpath(vendor + QStringLiteral("/lib")));
    const QString standIn = QStringLiteral(PAC_SOURCE_DIR "/platform/ftd3xx");
    QVERIFY(QFile::copy(standIn + QStringLiteral("/ftd3xx.h"), vendor + QStringLiteral("/include/ftd3xx.h")));
    const Run compile = Execute(QStringLiteral(PAC_CXX),
                                {QStringLiteral("-std=c++17"), QStringLiteral("-O1"), QStringLiteral("-shared"),
                                 QStringLiteral("-fPIC"), QStringLiteral("-pthread"), QStringLiteral("-I") + standIn,
                                 standIn + QStringLiteral("/ftd3xx.cpp"), QStringLiteral("-o"),
                                 vendor + QStringLiteral("/lib/libftd3xx.so")},
                                120000);
    QVERIFY2(compile.exitCode == 0, qPrintable(compile.output));
}

QString TestVendorBuild::Configure(const QString &buildDir, const QString &vendorDir)
{
    const Run run = Execute(QStringLiteral(PAC_CMAKE),
                            {QStringLiteral("-S"), QStringLiteral(PAC_SOURCE_DIR), QStringLiteral("-B"), buildDir,
                             QStringLiteral("-DCMAKE_BUILD_TYPE=Release"), QStringLiteral("-DBUILD_TESTING=OFF"),
                             QStringLiteral("-DPAC_VENDOR_USB=ON"), QStringLiteral("-DPAC_VENDOR_USB_DIR=") + vendorDir},
                            300000);
    return run.exitCode == 0 ? run.output : QStringLiteral("configure failed: ") + run.output;
}

void TestVendorBuild::missingVendorLibrary_fallsBackToTheStandIn()
{
    const QString output = Configure(work.filePath(QStringLiteral("build-none")), work.filePath(QStringLiteral("nothing")));
    QVERIFY2(output.contains(QStringLiteral("-- USB bridge: simulator stand-in (platform/ftd3xx)")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("ftd3xx.h and libftd3xx were not found")), qPrintable(output));
}

void TestVendorBuild::vendorFolder_isReportedAndLinkedIntoPac()
{
    const QString build = work.filePath(QStringLiteral("build-vendor"));
    const QString output = Configure(build, vendor);
    QVERIFY2(output.contains(QStringLiteral("-- USB bridge: vendor library ") + vendor + QStringLiteral("/lib/libftd3xx.so")),
             qPrintable(output));

    const Run make = Execute(QStringLiteral(PAC_CMAKE),
                             {QStringLiteral("--build"), build, QStringLiteral("--target"), QStringLiteral("pac"),
                              QStringLiteral("-j2")},
                             1200000);
    QVERIFY2(make.exitCode == 0, qPrintable(make.output.right(4000)));

    // The executable needs the shared library and carries no stand-in of its own.
    const QString pac = build + QStringLiteral("/app/pac");
    const Run dynamic = Execute(QStringLiteral("readelf"), {QStringLiteral("-d"), pac}, 30000);
    QVERIFY2(dynamic.output.contains(QStringLiteral("Shared library: [libftd3xx.so]")), qPrintable(dynamic.output));
    QVERIFY(!QFile::exists(build + QStringLiteral("/platform/libftd3xx.a")));
}

QTEST_GUILESS_MAIN(TestVendorBuild)
#include "tst_vendorbuild.moc"
