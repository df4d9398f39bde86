#include "export/export_error.h"

#include <QMessageBox>
#include <QWidget>

export_error::export_error(QWidget* d)
    : QObject(nullptr)
    , dialog(d)
{
}

QString export_error::message_for_code(int code)
{
    switch (code) {
    case -34: return QStringLiteral("Arrêt de l'utilisateur.");
    case -33: return QStringLiteral("Echec d'ouverture du fichier.");
    case -32: return QStringLiteral("Echec de vérification d'intégrité de l'archive.");
    case -31: return QStringLiteral("Erreur sur l'ouverture du fichier.");
    case -30: return QStringLiteral("Erreur sur le décodage des données du fichier.");
    case -29: return QStringLiteral("Archive déjà existante.");
    case -28: return QStringLiteral("Echec de création de l'archive.");
    case -27: return QStringLiteral("Fichier vidéo manquant.");
    case -26: return QStringLiteral("Fichier descripteur manquant.");
    case -25: return QStringLiteral("Erreur de suppression du fichier vidéo après archivage.");
    case -24: return QStringLiteral("Erreur de suppression du fichier descripteur après archivage.");
    case -23: return QStringLiteral("Erreur d'archivage du fichier vidéo.");
    case -22: return QStringLiteral("Erreur d'archivage du fichier descripteur.");
    case -21: return QStringLiteral("REMUX : Echec d'écriture de l'en-tete de sortie.");
    case -20: return QStringLiteral("REMUX : Error lors de l'ouverture du fichier de sortie.");
    case -19: return QStringLiteral("REMUX : Echec de copie des paramêtres");
    case -18: return QStringLiteral("REMUX : Echec de création du flux de sortie.");
    case -17: return QStringLiteral("REMUX : Echec de création du contexte de sortie.");
    case -16: return QStringLiteral("REMUX : Echec de récupération des informations de flux.");
    case -15: return QStringLiteral("REMUX : Erreur sur l'ouverture des données d'entrées.");
    case -14: return QStringLiteral("Erreur de récupération des données vidéos.");
    case -13: return QStringLiteral("Période invalide.");
    case -12: return QStringLiteral("Erreur réseau.");
    case -11: return QStringLiteral("Erreur lors du parsing des données.");
    case -10: return QStringLiteral("L'intervalle selectionnée ne contient pas de vidéo.");
    case -9: return QStringLiteral("Le fichier d'export n'a pas pu être ouvert.");
    case -8: return QStringLiteral("Erreur d'initialisation de l'encodeur. #4");
    case -7: return QStringLiteral("Erreur d'initialisation de l'encodeur. #3");
    case -6: return QStringLiteral("Erreur d'initialisation de l'encodeur. #2");
    case -5: return QStringLiteral("Erreur d'initialisation de l'encodeur. #1");
    case -4: return QStringLiteral("Erreur de format du fichier d'export.");
    case -3: return QStringLiteral("Erreur à l'initialisation de l'export.");
    case -2: return QStringLiteral("Heure de fin d'exportation introuvable.");
    case -1: return QStringLiteral("Heure de début d'exportation introuvable.");
    default: return QStringLiteral("Erreur inconnue.");
    }
}

void export_error::error_parse(int code)
{
    QMessageBox::information(dialog, QStringLiteral("Erreur de paramétrage"), message_for_code(code),
                             QMessageBox::Ok, QMessageBox::NoButton);
}
