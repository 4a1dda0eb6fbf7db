#include "vistrel/view/language.h"

#include <QLocale>
#include <array>

namespace {

using TWordRow = std::array<const char*, VLWordCount>;

const TWordRow kEnglish = {
    "Preview", "Source", "Result", "OK", "Cancel", "Lock preview", "Copy Result to Source", "Contrast",
    "Brightness", "Hue", "Saturation", "Value", "Base color", "New color", "Luminosity", "Red", "Green", "Blue",
    "Filter values", "Presets", "Divisor", "Load", "Save", "Equalization", "Threshold", "Equalize", "Histogram",
    "Gray", "Light", "Left", "Top", "Width", "Height", "Color", "Source image quantity", "Lens", "Refraction",
    "Parameters Preview", "Quality", "DCT method", "Smoothing factor", "Gray scale", "Optimal Huffman",
    "Original size", "Compressed size", "Advanced", "Progressive", "Compression", "Image index", "Photometric",
    "Scanned document info", "Name", "Description", "Page name", "Page number", "of", "Horiz. Position (inch)",
    "Vert. Position (inch)", "Colors", "Transparent", "Transparent color", "Interlaced", "Background",
    "Horiz. Position", "Vert. Position", "Delay time", "Filter", "Wave", "Amplitude", "Wave length", "Phase",
    "Reflective", "User filter", "Morphing filters", "Window size", "Maximum", "Minimum", "Opening", "Closing",
    "Rotate", "Flip", "Horizontal", "Vertical", "Frequency domain image", "Select the region to clean", "Clear",
    "Reset",
};

const TWordRow kItalian = {
    "Anteprima", "Originale", "Elaborata", "OK", "Annulla", "Blocca anteprima", "Copia elaborata su originale",
    "Contrasto", "Luminosità", "Tinta", "Saturazione", "Valore", "Colore base", "Nuovo colore", "Luminanza",
    "Rosso", "Verde", "Blu", "Valori del filtro", "Predefiniti", "Divisore", "Carica", "Salva", "Equalizzazione",
    "Soglia", "Equalizza", "Istogramma", "Grigio", "Luce", "Sinistra", "Alto", "Larghezza", "Altezza", "Colore",
    "Quantità immagine originale", "Lente", "Rifrazione", "Anteprima parametri", "Qualità", "Metodo DCT",
    "Fattore di smussatura", "Scala di grigi", "Huffman ottimale", "Dimensione originale",
    "Dimensione compressa", "Avanzate", "Progressivo", "Compressione", "Indice immagine", "Fotometria",
    "Informazioni documento acquisito", "Nome", "Descrizione", "Nome pagina", "Numero pagina", "di",
    "Posizione orizz. (pollici)", "Posizione vert. (pollici)", "Colori", "Trasparente", "Colore trasparente",
    "Interlacciato", "Sfondo", "Posizione orizz.", "Posizione vert.", "Tempo di ritardo", "Filtro", "Onda",
    "Ampiezza", "Lunghezza d'onda", "Fase", "Riflettente", "Filtro utente", "Filtri morfologici",
    "Dimensione finestra", "Massimo", "Minimo", "Apertura", "Chiusura", "Ruota", "Capovolgi", "Orizzontale",
    "Verticale", "Immagine nel dominio della frequenza", "Seleziona la regione da pulire", "Azzera",
    "Ripristina",
};

const TWordRow kGerman = {
    "Vorschau", "Quelle", "Ergebnis", "OK", "Abbrechen", "Vorschau einfrieren", "Ergebnis in Quelle kopieren",
    "Kontrast", "Helligkeit", "Farbton", "Sättigung", "Wert", "Grundfarbe", "Neue Farbe", "Luminanz", "Rot",
    "Grün", "Blau", "Filterwerte", "Vorgaben", "Teiler", "Laden", "Speichern", "Ausgleich", "Schwellenwert",
    "Ausgleichen", "Histogramm", "Grau", "Licht", "Links", "Oben", "Breite", "Höhe", "Farbe",
    "Anteil des Quellbildes", "Linse", "Brechung", "Parametervorschau", "Qualität", "DCT-Verfahren",
    "Glättungsfaktor", "Graustufen", "Optimale Huffman-Tabellen", "Originalgröße", "Komprimierte Größe",
    "Erweitert", "Progressiv", "Komprimierung", "Bildindex", "Photometrie", "Angaben zum gescannten Dokument",
    "Name", "Beschreibung", "Seitenname", "Seitennummer", "von", "Horiz. Position (Zoll)",
    "Vert. Position (Zoll)", "Farben", "Transparent", "Transparente Farbe", "Zeilensprung", "Hintergrund",
    "Horiz. Position", "Vert. Position", "Verzögerung", "Filter", "Welle", "Amplitude", "Wellenlänge", "Phase",
    "Spiegelnd", "Benutzerfilter", "Morphologische Filter", "Fenstergröße", "Maximum", "Minimum", "Öffnen",
    "Schließen", "Drehen", "Spiegeln", "Horizontal", "Vertikal", "Bild im Frequenzraum",
    "Zu bereinigenden Bereich wählen", "Löschen", "Zurücksetzen",
};

const TWordRow kSpanish = {
    "Vista Previa", "Original", "Resultado", "Aceptar", "Cancelar", "Bloquear Vista Previa",
    "Copiar resultado al original", "Contraste", "Brillo", "Tono", "Saturación", "Valor", "Color base",
    "Color nuevo", "Luminosidad", "Rojo", "Verde", "Azul", "Valores del filtro", "Predefinidos", "Divisor",
    "Cargar", "Guardar", "Ecualización", "Umbral", "Ecualizar", "Histograma", "Gris", "Luz", "Izquierda",
    "Arriba", "Ancho", "Alto", "Color", "Cantidad de imagen original", "Lente", "Refracción",
    "Vista previa de parámetros", "Calidad", "Método DCT", "Factor de suavizado", "Escala de grises",
    "Huffman óptimo", "Tamaño original", "Tamaño comprimido", "Avanzado", "Progresivo", "Compresión",
    "Índice de imagen", "Fotometría", "Información del documento escaneado", "Nombre", "Descripción",
    "Nombre de página", "Número de página", "de", "Posición horiz. (pulgadas)", "Posición vert. (pulgadas)",
    "Colores", "Transparente", "Color transparente", "Entrelazado", "Fondo", "Posición horiz.",
    "Posición vert.", "Tiempo de retardo", "Filtro", "Onda", "Amplitud", "Longitud de onda", "Fase",
    "Reflectante", "Filtro de usuario", "Filtros morfológicos", "Tamaño de ventana", "Máximo", "Mínimo",
    "Apertura", "Cierre", "Girar", "Voltear", "Horizontal", "Vertical", "Imagen en el dominio de la frecuencia",
    "Seleccione la región a limpiar", "Limpiar", "Reponer",
};

const TWordRow kFrench = {
    "Prévisualisation", "Source", "Résultat", "OK", "Annuler", "Bloquear Vista Previa",
    "Copier le résultat dans la source", "Contraste", "Luminosité", "Teinte", "Saturation", "Valeur",
    "Couleur de base", "Nouvelle couleur", "Luminance", "Rouge", "Vert", "Bleu", "Valeurs du filtre",
    "Préréglages", "Diviseur", "Charger", "Enregistrer", "Égalisation", "Seuil", "Égaliser", "Histogramme",
    "Gris", "Lumière", "Gauche", "Haut", "Largeur", "Hauteur", "Couleur", "Quantité de l'image source",
    "Lentille", "Réfraction", "Aperçu des paramètres", "Qualité", "Méthode DCT", "Facteur de lissage",
    "Niveaux de gris", "Huffman optimal", "Taille d'origine", "Taille compressée", "Avancé", "Progressif",
    "Compression", "Index de l'image", "Photométrie", "Informations sur le document numérisé", "Nom",
    "Description", "Nom de la page", "Numéro de page", "sur", "Position horiz. (pouces)",
    "Position vert. (pouces)", "Couleurs", "Transparent", "Couleur transparente", "Entrelacé", "Arrière-plan",
    "Position horiz.", "Position vert.", "Délai", "Filtre", "Onde", "Amplitude", "Longueur d'onde", "Phase",
    "Réfléchissant", "Filtre utilisateur", "Filtres morphologiques", "Taille de la fenêtre", "Maximum",
    "Minimum", "Ouverture", "Fermeture", "Rotation", "Retourner", "Horizontal", "Vertical",
    "Image du domaine fréquentiel", "Sélectionnez la région à nettoyer", "Effacer", "Ré-initialiser",
};

const TWordRow kPortuguese = {
    "Visualizar", "Original", "Resultado", "OK", "Cancelar", "Bloquear Visualização",
    "Copiar resultado para o original", "Contraste", "Brilho", "Matiz", "Saturação", "Valor", "Cor base",
    "Nova cor", "Luminosidade", "Vermelho", "Verde", "Azul", "Valores do filtro", "Predefinições", "Divisor",
    "Carregar", "Salvar", "Equalização", "Limiar", "Equalizar", "Histograma", "Cinza", "Luz", "Esquerda",
    "Topo", "Largura", "Altura", "Cor", "Quantidade da imagem original", "Lente", "Refração",
    "Visualização de parâmetros", "Qualidade", "Método DCT", "Fator de suavização", "Escala de cinza",
    "Huffman otimizado", "Tamanho original", "Tamanho comprimido", "Avançado", "Progressivo", "Compressão",
    "Índice da imagem", "Fotometria", "Informações do documento digitalizado", "Nome", "Descrição",
    "Nome da página", "Número da página", "de", "Posição horiz. (polegadas)", "Posição vert. (polegadas)",
    "Cores", "Transparente", "Cor transparente", "Entrelaçado", "Fundo", "Posição horiz.", "Posição vert.",
    "Tempo de atraso", "Filtro", "Onda", "Amplitude", "Comprimento de onda", "Fase", "Refletivo",
    "Filtro do usuário", "Filtros morfológicos", "Tamanho da janela", "Máximo", "Mínimo", "Abertura",
    "Fechamento", "Girar", "Inverter", "Horizontal", "Vertical", "Imagem no domínio da frequência",
    "Selecione a região a limpar", "Limpar", "Reajustar",
};

const TWordRow kGreek = {
    "Προεπισκόπηση", "Αρχικό", "Αποτέλεσμα", "OK", "Άκυρο", "Κλείδωμα προεπισκόπησης",
    "Αντιγραφή αποτελέσματος στο αρχικό", "Αντίθεση", "Φωτεινότητα", "Απόχρωση", "Κορεσμός", "Τιμή",
    "Βασικό χρώμα", "Νέο χρώμα", "Λαμπρότητα", "Κόκκινο", "Πράσινο", "Μπλε", "Τιμές φίλτρου",
    "Προκαθορισμένα", "Διαιρέτης", "Φόρτωση", "Αποθήκευση", "Εξισορρόπηση", "Κατώφλι", "Εξίσωση",
    "Ιστόγραμμα", "Γκρι", "Φως", "Αριστερά", "Πάνω", "Πλάτος", "Ύψος", "Χρώμα", "Ποσοστό αρχικής εικόνας",
    "Φακός", "Διάθλαση", "Προεπισκόπηση παραμέτρων", "Ποιότητα", "Μέθοδος DCT", "Συντελεστής εξομάλυνσης",
    "Κλίμακα του γκρι", "Βέλτιστο Huffman", "Αρχικό μέγεθος", "Συμπιεσμένο μέγεθος", "Για προχωρημένους",
    "Προοδευτική", "Συμπίεση", "Δείκτης εικόνας", "Φωτομετρία", "Πληροφορίες σαρωμένου εγγράφου", "Όνομα",
    "Περιγραφή", "Όνομα σελίδας", "Αριθμός σελίδας", "από", "Οριζ. θέση (ίντσες)", "Κατακ. θέση (ίντσες)",
    "Χρώματα", "Διαφανές", "Διαφανές χρώμα", "Πεπλεγμένη", "Φόντο", "Οριζ. θέση", "Κατακ. θέση",
    "Χρόνος καθυστέρησης", "Φίλτρο", "Κύμα", "Εύρος", "Μήκος κύματος", "Φάση", "Ανακλαστικό",
    "Φίλτρο χρήστη", "Μορφολογικά φίλτρα", "Μέγεθος παραθύρου", "Μέγιστο", "Ελάχιστο", "Άνοιγμα",
    "Κλείσιμο", "Περιστροφή", "Αναστροφή", "Οριζόντια", "Κατακόρυφα", "Εικόνα στο πεδίο συχνοτήτων",
    "Επιλέξτε την περιοχή για καθαρισμό", "Καθαρισμός", "Επαναφορά",
};

using TWordTable = std::array<std::array<std::string, VLWordCount>, VLLanguageCount>;

// Filled on first use, row by row from English to Greek.
TWordTable& Table() {
  static TWordTable* table = [] {
    auto* t = new TWordTable;
    const TWordRow* rows[] = {&kEnglish, &kItalian, &kGerman, &kSpanish, &kFrench, &kPortuguese, &kGreek};
    for (int lang = msEnglish; lang <= msGreek; ++lang)
      for (int id = 0; id < VLWordCount; ++id) (*t)[size_t(lang)][size_t(id)] = (*rows[lang - 1])[size_t(id)];
    return t;
  }();
  return *table;
}

std::function<int()>& LanguageSource() {
  static std::function<int()> source;
  return source;
}

// Primary language ids.
constexpr int kLangOther = 0, kLangGerman = 7, kLangGreek = 8, kLangEnglish = 9, kLangSpanish = 10,
              kLangFrench = 12, kLangItalian = 16, kLangDutch = 19, kLangPortuguese = 22;

int SystemPrimaryLanguageId() {
  switch (QLocale::system().language()) {
    case QLocale::German: return kLangGerman;
    case QLocale::Greek: return kLangGreek;
    case QLocale::English: return kLangEnglish;
    case QLocale::Spanish: return kLangSpanish;
    case QLocale::French: return kLangFrench;
    case QLocale::Italian: return kLangItalian;
    case QLocale::Dutch: return kLangDutch;
    case QLocale::Portuguese: return kLangPortuguese;
    default: return kLangOther;
  }
}

}  // namespace

int VLUserPrimaryLanguageId() {
  if (LanguageSource()) return LanguageSource()();
  return SystemPrimaryLanguageId();
}

void VLSetUserLanguageSource(std::function<int()> Source) { LanguageSource() = std::move(Source); }

void VLWordSet(TMsgLanguage Lang, int Id, const std::string& Text) {
  if (Lang >= VLLanguageCount || Id < 0 || Id >= VLWordCount) return;
  Table()[Lang][size_t(Id)] = Text;
}

std::string VLWordGet(int Id, TMsgLanguage Lang) {
  if (Id < 0 || Id >= VLWordCount || Lang >= VLLanguageCount) return std::string();
  TWordTable& t = Table();
  if (Lang == msSystem) {
    int row;
    switch (VLUserPrimaryLanguageId()) {
      case kLangGerman: row = msGerman; break;
      case kLangGreek: row = msGreek; break;
      case kLangSpanish: row = msSpanish; break;
      case kLangFrench: row = msFrench; break;
      case kLangItalian: row = msItalian; break;
      case kLangPortuguese: row = msPortuguese; break;
      default: row = msEnglish; break;
    }
    return t[size_t(row)][size_t(Id)];
  }
  const std::string& s = t[Lang][size_t(Id)];
  return s.empty() ? t[msEnglish][size_t(Id)] : s;
}
