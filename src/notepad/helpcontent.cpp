#include "notepad/helpcontent.h"

#include <QStringList>

namespace vorlan {

namespace {

const QString Separator(42, u'=');
const QString Title = QStringLiteral("     ПРОГРАММА  Vorlan");
const QString Version = QStringLiteral("версия 3.0");

} // namespace

QString MainHelpText() {
    // A paragraph is one long line (several literals joined) so that the text box wraps it to
    // its width; short lines keep their own breaks.
    const QStringList lines{
        Separator,
        QString(),
        Title,
        QString(),
        Version,
        QString(),
        QString(),
        QStringLiteral("   !!! в версии 3 добавлена возможность загрузки"),
        QStringLiteral("   третьего снимка и мелкие улучшения."),
        QString(),
        QStringLiteral("   Файлы фотографий и карт должны лежать в той же папке,"),
        QStringLiteral("   что и файл проекта *.vln"),
        QString(),
        QString(),
        Separator,
        QString(),
        QStringLiteral("   Программа предназначена для сравнения фотографий участков звёздного неба "
                       "между собой или с картами этих участков, "
                       "чтобы быстро находить новые и переменные объекты."),
        QString(),
        QString(),
        QStringLiteral("   В программу загружаются две картинки одного вида (две фотографии или фотография "
                       "и карта), которые сменяют друг друга с выбранным интервалом времени."),
        QString(),
        QStringLiteral("   Одинаковые объекты на картинках можно отметить мышью и совместить кнопкой "
                       "\"СОВМЕСТИТЬ\". Регуляторы размера увеличивают или уменьшают каждую картинку "
                       "отдельно. "
                       "Щелчок мышью по точке при нажатой клавише Shift показывает выбранные участки "
                       "картинок по отдельности."),
        QString(),
        QStringLiteral("   Картинки выравниваются по горизонтали; лучше сделать это заранее "
                       "в графическом редакторе (например, в Adobe Photoshop)."),
        QString(),
        QStringLiteral("          РЕКОМЕНДАЦИИ"),
        QString(),
        QStringLiteral("   Успех поиска во многом зависит от подготовки картинок. "
                       "Рекомендуется следующий порядок работы."),
        QString(),
        QStringLiteral("1. Загрузите фотографию участка неба как первую картинку"),
        QStringLiteral("   (МЕНЮ/ЗАГРУЗИТЬ ПЕРВЫЙ СНИМОК)"),
        QStringLiteral("2. Отметьте на снимке две известные звезды:"
                       " - нажмите метку \"1Ф\";"),
        QStringLiteral("   - нажмите метку \"Точка  1\" и щёлкните мышью по первой звезде на снимке;"),
        QStringLiteral("   - так же отметьте вторую звезду меткой \"Точка  2\"."),
        QStringLiteral("   В правом нижнем углу появятся прямоугольные координаты точек."),
        QStringLiteral("3. Выберите пункт меню \"ВЫРАВНИВАНИЕ/ВВЕСТИ КООРДИНАТЫ ВЫДЛЕННЫХ ТОЧЕК\","),
        QStringLiteral("   введите в окне координаты звёзд и нажмите \"СЧИТАТЬ!\"."),
        QStringLiteral("4. Появятся координаты центра снимка; они пригодятся, чтобы построить"),
        QStringLiteral("   карту этого же участка неба."),
        QString(),
        QString(),
        QStringLiteral("   Затем второй картинкой загрузите карту, скопированную"),
        QStringLiteral("   из атласа, или более раннюю фотографию того же"),
        QStringLiteral("   участка неба."),
        QStringLiteral("   После этого картинки нужно выровнять"),
        QStringLiteral("   (см. ниже)."),
        QString(),
        QString(),
        QStringLiteral("    ВЫРАВНИВАНИЕ КАРТИНОК ПО ГОРИЗОНТАЛИ"),
        QString(),
        QStringLiteral(" 1. Отметьте первый объект на первой картинке (\"Точка  1\")."),
        QStringLiteral(" 2. Отметьте второй объект на первой картинке (\"Точка  2\")."),
        QStringLiteral(" 3. Перейдите на вторую картинку и отметьте на ней те же объекты."),
        QStringLiteral(" 4. Выберите пункт меню \"ВЫРАВНИВАНИЕ/ВЫРОВНЯТЬ!\"."),
        QStringLiteral("   Выравнивается вторая картинка, поэтому фотографию загружайте первой, "
                       "а карту - второй."),
        QStringLiteral("   Выровненную карту сохраните в файл "
                       "и снова загрузите её второй картинкой."),
        QString(),
        QStringLiteral("   При выравнивании показывается угол поворота второй картинки. Поворот"),
        QStringLiteral("   можно сделать и в графическом редакторе: положительный угол - поворот"),
        QStringLiteral("   против часовой стрелки, отрицательный - по часовой стрелке"),
        QStringLiteral("     (+) - CCW"),
        QStringLiteral("     (-) - CW"),
        QString(),
        QStringLiteral("   Во время сравнения в левом нижнем углу показываются координаты точки"),
        QStringLiteral("   под курсором, если координаты звёзд были введены."),
        QStringLiteral("   Подозрительный участок можно скопировать в отдельную картинку щелчком"),
        QStringLiteral("   мыши при нажатой клавише Shift: получится картинка для сравнения."),
        QString(),
        QStringLiteral("   В меню \"VORLAN\" пункт \"Выравнивать яркость\" подгоняет яркость второго и третьего "
                       "снимков к первому, чтобы при мигании менялось только то, что изменилось на небе, "
                       "пункт \"Разность\" показывает разность снимка с первым (серое - без изменений, "
                       "светлее - ярче, темнее - слабее), а \"1 - 2 - 3\" показывает все три снимка по очереди."),
        QString(),
        QString(),
        QString(),
        QStringLiteral("   Не рекомендуется загружать большие файлы: "
                       "лучше разрезать их на несколько небольших."),
        QString(),
        QStringLiteral("   Совмещённые проекты можно сохранять в формате *.vln"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString PhotometryHelpText() {
    QStringList lines{Separator, QString(), Title, QString(), Version, QString(),
                      Separator, QStringLiteral("  Справка по фотометрии"), Separator};
    for (int i = 0; i < 19; ++i)
        lines << QString();
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

} // namespace vorlan
