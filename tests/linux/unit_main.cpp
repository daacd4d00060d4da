#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Hides every Chinese face but `family` from fontconfig, as a desktop that has only that one
// would. A face counts as Chinese by any of the languages fontconfig finds it covers (Droid Sans
// Fallback claims Japanese and Traditional Chinese, not Simplified). Must run before the first
// QApplication.
bool offerOnlyChineseFace(const QTemporaryDir& dir, const std::string& family) {
    const std::string path = dir.filePath(QStringLiteral("fonts.conf")).toStdString();
    std::ofstream conf(path);
    conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
         << "  <include ignore_missing=\"no\">/etc/fonts/fonts.conf</include>\n"
         << "  <selectfont>\n"
         << "    <acceptfont><pattern><patelt name=\"family\"><string>" << family
         << "</string></patelt></pattern></acceptfont>\n"
         << "    <rejectfont>\n";
    for (const char* lang : {"zh-cn", "zh-tw", "zh-hk", "ja", "ko"}) {
        conf << "      <pattern><patelt name=\"lang\"><string>" << lang
             << "</string></patelt></pattern>\n";
    }
    conf << "    </rejectfont>\n  </selectfont>\n</fontconfig>\n";
    conf.close();
    return conf.good() && qputenv("FONTCONFIG_FILE", QByteArray::fromStdString(path));
}

}  // namespace

// The window and platform tests need a QApplication but no display.
int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir fontconfig;
    if (const char* face = std::getenv("MORVANE_ONLY_CJK_FACE"); face != nullptr) {
        if (!fontconfig.isValid() || !offerOnlyChineseFace(fontconfig, face)) {
            return 1;
        }
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
