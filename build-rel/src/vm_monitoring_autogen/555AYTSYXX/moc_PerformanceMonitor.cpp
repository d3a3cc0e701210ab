/****************************************************************************
** Meta object code from reading C++ file 'PerformanceMonitor.h'
**
** Created by: The Qt Meta Object Compiler version 68 (Qt 6.4.2)
**
** WARNING! All changes made in this file will be lost!
*****************************************************************************/

#include <memory>
#include "../../../../src/monitoring/PerformanceMonitor.h"
#include <QtCore/qmetatype.h>
#if !defined(Q_MOC_OUTPUT_REVISION)
#error "The header file 'PerformanceMonitor.h' doesn't include <QObject>."
#elif Q_MOC_OUTPUT_REVISION != 68
#error "This file was generated using the moc from 6.4.2. It"
#error "cannot be used with the include files from this version of Qt."
#error "(The moc has changed too much.)"
#endif

#ifndef Q_CONSTINIT
#define Q_CONSTINIT
#endif

QT_BEGIN_MOC_NAMESPACE
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
namespace {
struct qt_meta_stringdata_PerformanceMonitor_t {
    uint offsetsAndSizes[18];
    char stringdata0[19];
    char stringdata1[16];
    char stringdata2[1];
    char stringdata3[14];
    char stringdata4[20];
    char stringdata5[17];
    char stringdata6[21];
    char stringdata7[20];
    char stringdata8[14];
};
#define QT_MOC_LITERAL(ofs, len) \
    uint(sizeof(qt_meta_stringdata_PerformanceMonitor_t::offsetsAndSizes) + ofs), len 
Q_CONSTINIT static const qt_meta_stringdata_PerformanceMonitor_t qt_meta_stringdata_PerformanceMonitor = {
    {
        QT_MOC_LITERAL(0, 18),  // "PerformanceMonitor"
        QT_MOC_LITERAL(19, 15),  // "snapshotChanged"
        QT_MOC_LITERAL(35, 0),  // ""
        QT_MOC_LITERAL(36, 13),  // "healthChanged"
        QT_MOC_LITERAL(50, 19),  // "topProcessesChanged"
        QT_MOC_LITERAL(70, 16),  // "historiesChanged"
        QT_MOC_LITERAL(87, 20),  // "actionHistoryChanged"
        QT_MOC_LITERAL(108, 19),  // "isMonitoringChanged"
        QT_MOC_LITERAL(128, 13)   // "sampleApplied"
    },
    "PerformanceMonitor",
    "snapshotChanged",
    "",
    "healthChanged",
    "topProcessesChanged",
    "historiesChanged",
    "actionHistoryChanged",
    "isMonitoringChanged",
    "sampleApplied"
};
#undef QT_MOC_LITERAL
} // unnamed namespace

Q_CONSTINIT static const uint qt_meta_data_PerformanceMonitor[] = {

 // content:
      10,       // revision
       0,       // classname
       0,    0, // classinfo
       7,   14, // methods
       0,    0, // properties
       0,    0, // enums/sets
       0,    0, // constructors
       0,       // flags
       7,       // signalCount

 // signals: name, argc, parameters, tag, flags, initial metatype offsets
       1,    0,   56,    2, 0x06,    1 /* Public */,
       3,    0,   57,    2, 0x06,    2 /* Public */,
       4,    0,   58,    2, 0x06,    3 /* Public */,
       5,    0,   59,    2, 0x06,    4 /* Public */,
       6,    0,   60,    2, 0x06,    5 /* Public */,
       7,    0,   61,    2, 0x06,    6 /* Public */,
       8,    0,   62,    2, 0x06,    7 /* Public */,

 // signals: parameters
    QMetaType::Void,
    QMetaType::Void,
    QMetaType::Void,
    QMetaType::Void,
    QMetaType::Void,
    QMetaType::Void,
    QMetaType::Void,

       0        // eod
};

Q_CONSTINIT const QMetaObject PerformanceMonitor::staticMetaObject = { {
    QMetaObject::SuperData::link<QObject::staticMetaObject>(),
    qt_meta_stringdata_PerformanceMonitor.offsetsAndSizes,
    qt_meta_data_PerformanceMonitor,
    qt_static_metacall,
    nullptr,
    qt_incomplete_metaTypeArray<qt_meta_stringdata_PerformanceMonitor_t,
        // Q_OBJECT / Q_GADGET
        QtPrivate::TypeAndForceComplete<PerformanceMonitor, std::true_type>,
        // method 'snapshotChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'healthChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'topProcessesChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'historiesChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'actionHistoryChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'isMonitoringChanged'
        QtPrivate::TypeAndForceComplete<void, std::false_type>,
        // method 'sampleApplied'
        QtPrivate::TypeAndForceComplete<void, std::false_type>
    >,
    nullptr
} };

void PerformanceMonitor::qt_static_metacall(QObject *_o, QMetaObject::Call _c, int _id, void **_a)
{
    if (_c == QMetaObject::InvokeMetaMethod) {
        auto *_t = static_cast<PerformanceMonitor *>(_o);
        (void)_t;
        switch (_id) {
        case 0: _t->snapshotChanged(); break;
        case 1: _t->healthChanged(); break;
        case 2: _t->topProcessesChanged(); break;
        case 3: _t->historiesChanged(); break;
        case 4: _t->actionHistoryChanged(); break;
        case 5: _t->isMonitoringChanged(); break;
        case 6: _t->sampleApplied(); break;
        default: ;
        }
    } else if (_c == QMetaObject::IndexOfMethod) {
        int *result = reinterpret_cast<int *>(_a[0]);
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::snapshotChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 0;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::healthChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 1;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::topProcessesChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 2;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::historiesChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 3;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::actionHistoryChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 4;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::isMonitoringChanged; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 5;
                return;
            }
        }
        {
            using _t = void (PerformanceMonitor::*)();
            if (_t _q_method = &PerformanceMonitor::sampleApplied; *reinterpret_cast<_t *>(_a[1]) == _q_method) {
                *result = 6;
                return;
            }
        }
    }
    (void)_a;
}

const QMetaObject *PerformanceMonitor::metaObject() const
{
    return QObject::d_ptr->metaObject ? QObject::d_ptr->dynamicMetaObject() : &staticMetaObject;
}

void *PerformanceMonitor::qt_metacast(const char *_clname)
{
    if (!_clname) return nullptr;
    if (!strcmp(_clname, qt_meta_stringdata_PerformanceMonitor.stringdata0))
        return static_cast<void*>(this);
    if (!strcmp(_clname, "MonitorState"))
        return static_cast< MonitorState*>(this);
    if (!strcmp(_clname, "Lifecycle"))
        return static_cast< Lifecycle*>(this);
    return QObject::qt_metacast(_clname);
}

int PerformanceMonitor::qt_metacall(QMetaObject::Call _c, int _id, void **_a)
{
    _id = QObject::qt_metacall(_c, _id, _a);
    if (_id < 0)
        return _id;
    if (_c == QMetaObject::InvokeMetaMethod) {
        if (_id < 7)
            qt_static_metacall(this, _c, _id, _a);
        _id -= 7;
    } else if (_c == QMetaObject::RegisterMethodArgumentMetaType) {
        if (_id < 7)
            *reinterpret_cast<QMetaType *>(_a[0]) = QMetaType();
        _id -= 7;
    }
    return _id;
}

// SIGNAL 0
void PerformanceMonitor::snapshotChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 0, nullptr);
}

// SIGNAL 1
void PerformanceMonitor::healthChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 1, nullptr);
}

// SIGNAL 2
void PerformanceMonitor::topProcessesChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 2, nullptr);
}

// SIGNAL 3
void PerformanceMonitor::historiesChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 3, nullptr);
}

// SIGNAL 4
void PerformanceMonitor::actionHistoryChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 4, nullptr);
}

// SIGNAL 5
void PerformanceMonitor::isMonitoringChanged()
{
    QMetaObject::activate(this, &staticMetaObject, 5, nullptr);
}

// SIGNAL 6
void PerformanceMonitor::sampleApplied()
{
    QMetaObject::activate(this, &staticMetaObject, 6, nullptr);
}
QT_WARNING_POP
QT_END_MOC_NAMESPACE
