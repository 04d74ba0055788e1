// Renders an SVG icon into PNG files of fixed sizes, for the folders of an
// icon theme that take no scalable icons:
//   iconrender <icon.svg> <theme folder> <size>...
// writes <theme folder>/<size>x<size>/apps/<icon>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4) {
        std::fputs("usage: iconrender <icon.svg> <theme folder> <size>...\n", stderr);
        return 2;
    }
    const QString svg = arguments.at(1);
    const QString name = QFileInfo(svg).completeBaseName();
    for (const QString &sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments.at(2)).arg(size);
        const QString png = folder + u'/' + name + QStringLiteral(".png");
        if (size <= 0 || image.isNull() || !QDir().mkpath(folder) || !image.save(png, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot render %s at %d: %s\n", qPrintable(svg), size,
                         qPrintable(reader.errorString()));
            return 1;
        }
    }
    return 0;
}
