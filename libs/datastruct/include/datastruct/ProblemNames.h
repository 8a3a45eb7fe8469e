// The names of the problems Veloxa checks and of the job's production
// settings ("Setting_..."), one constant per name, as they appear as keys of
// setting messages and of ticket check groups.
//
// kSetting_X holds "Setting_X"; kProblem_X holds "X". kSettingNames and
// kProblemNames list every name (in byte order) for code that walks them.
#pragma once

#include <array>
#include <string_view>

#include "utils/ustring.h"

namespace problem_names {

inline const ustring kSetting_BitmapDownsample{"Setting_BitmapDownsample"};
inline const ustring kSetting_ContoneDownsample{"Setting_ContoneDownsample"};
inline const ustring kSetting_ControlStrip{"Setting_ControlStrip"};
inline const ustring kSetting_ConversionOfPureVectorColors{"Setting_ConversionOfPureVectorColors"};
inline const ustring kSetting_ConversionRenderingIntent{"Setting_ConversionRenderingIntent"};
inline const ustring kSetting_DownsampleMethodBitmap{"Setting_DownsampleMethodBitmap"};
inline const ustring kSetting_DownsampleMethodContone{"Setting_DownsampleMethodContone"};
inline const ustring kSetting_GrayscaleProfile{"Setting_GrayscaleProfile"};
inline const ustring kSetting_LayoutColorMismatchPolicy{"Setting_LayoutColorMismatchPolicy"};
inline const ustring kSetting_LayoutColorSpacePolicy{"Setting_LayoutColorSpacePolicy"};
inline const ustring kSetting_LocalOutputProfiles{"Setting_LocalOutputProfiles"};
inline const ustring kSetting_MaxScalingAllowed{"Setting_MaxScalingAllowed"};
inline const ustring kSetting_MinimumBleed{"Setting_MinimumBleed"};
inline const ustring kSetting_OptimumBleed{"Setting_OptimumBleed"};
inline const ustring kSetting_OverrideDestinationProfiles{"Setting_OverrideDestinationProfiles"};
inline const ustring kSetting_PDFVersion{"Setting_PDFVersion"};
inline const ustring kSetting_PDFXVersion{"Setting_PDFXVersion"};
inline const ustring kSetting_PrinterMarks{"Setting_PrinterMarks"};
inline const ustring kSetting_ProcessProfile{"Setting_ProcessProfile"};
inline const ustring kSetting_Standard{"Setting_Standard"};
inline const ustring kSetting_TACSampleSize{"Setting_TACSampleSize"};
inline const ustring kSetting_TrimSize{"Setting_TrimSize"};
inline const ustring kSetting_WorkingSpaceProfiles{"Setting_WorkingSpaceProfiles"};

inline const ustring kProblem_Actions{"Actions"};
inline const ustring kProblem_AlternatePresentations{"AlternatePresentations"};
inline const ustring kProblem_AmbiguousSpotName{"AmbiguousSpotName"};
inline const ustring kProblem_Annotations{"Annotations"};
inline const ustring kProblem_ArtBoxDetected{"ArtBoxDetected"};
inline const ustring kProblem_Base14FontNotEmbedded{"Base14FontNotEmbedded"};
inline const ustring kProblem_BitmapFontUsedInLayout{"BitmapFontUsedInLayout"};
inline const ustring kProblem_BlackGenerationSet{"BlackGenerationSet"};
inline const ustring kProblem_BlackNotUsed{"BlackNotUsed"};
inline const ustring kProblem_BlackTextKnockout{"BlackTextKnockout"};
inline const ustring kProblem_BlackUsed{"BlackUsed"};
inline const ustring kProblem_BlackVectorKnockout{"BlackVectorKnockout"};
inline const ustring kProblem_BleedBoxDetected{"BleedBoxDetected"};
inline const ustring kProblem_BlendModeTransparencyAppliedToObject{"BlendModeTransparencyAppliedToObject"};
inline const ustring kProblem_CIDFontUsedInLayout{"CIDFontUsedInLayout"};
inline const ustring kProblem_CIDType0FontUsed{"CIDType0FontUsed"};
inline const ustring kProblem_CIDType2FontUsed{"CIDType2FontUsed"};
inline const ustring kProblem_CMYKBlackUsedInGrayscale{"CMYKBlackUsedInGrayscale"};
inline const ustring kProblem_CalGrayColourSpaceUsed{"CalGrayColourSpaceUsed"};
inline const ustring kProblem_CalRGBColourSpaceUsed{"CalRGBColourSpaceUsed"};
inline const ustring kProblem_CanSendIncompleteDetails{"CanSendIncompleteDetails"};
inline const ustring kProblem_CanSendNoDestination{"CanSendNoDestination"};
inline const ustring kProblem_CheckPrinterMarksWarning{"CheckPrinterMarksWarning"};
inline const ustring kProblem_ColorNotSpotAs{"ColorNotSpotAs"};
inline const ustring kProblem_ColourNotUsed{"ColourNotUsed"};
inline const ustring kProblem_ColourUsed{"ColourUsed"};
inline const ustring kProblem_CompressedMetaDataDetected{"CompressedMetaDataDetected"};
inline const ustring kProblem_ContainsASCIICompression{"ContainsASCIICompression"};
inline const ustring kProblem_ContainsEmptyPages{"ContainsEmptyPages"};
inline const ustring kProblem_ContainsJBIG2Compression{"ContainsJBIG2Compression"};
inline const ustring kProblem_ContainsJPEG2000Compression{"ContainsJPEG2000Compression"};
inline const ustring kProblem_ContainsLZWCompression{"ContainsLZWCompression"};
inline const ustring kProblem_ContainsRawStreams{"ContainsRawStreams"};
inline const ustring kProblem_CourierUsed{"CourierUsed"};
inline const ustring kProblem_CropBoxDetected{"CropBoxDetected"};
inline const ustring kProblem_CropBoxIncorrect{"CropBoxIncorrect"};
inline const ustring kProblem_CustomProfileSpecified{"CustomProfileSpecified"};
inline const ustring kProblem_CustomScreen{"CustomScreen"};
inline const ustring kProblem_CustomTransfer{"CustomTransfer"};
inline const ustring kProblem_DCSGraphicHasMissingPlates{"DCSGraphicHasMissingPlates"};
inline const ustring kProblem_DCSGraphicInNonDCS{"DCSGraphicInNonDCS"};
inline const ustring kProblem_DCSGraphicInPDF{"DCSGraphicInPDF"};
inline const ustring kProblem_DestinationProfileCorrupt{"DestinationProfileCorrupt"};
inline const ustring kProblem_DestinationProfileNotFound{"DestinationProfileNotFound"};
inline const ustring kProblem_DestinationSettingsConflict{"DestinationSettingsConflict"};
inline const ustring kProblem_DeviceCMYKImageWithNoOutputIntent{"DeviceCMYKImageWithNoOutputIntent"};
inline const ustring kProblem_DeviceCMYKUsedInGrayscale{"DeviceCMYKUsedInGrayscale"};
inline const ustring kProblem_DeviceCMYKVectorWithNoOutputIntent{"DeviceCMYKVectorWithNoOutputIntent"};
inline const ustring kProblem_DeviceGrayUsedInCMYKJobs{"DeviceGrayUsedInCMYKJobs"};
inline const ustring kProblem_DeviceGrayWithNoOutputIntent{"DeviceGrayWithNoOutputIntent"};
inline const ustring kProblem_DeviceNColourSpaceUsed{"DeviceNColourSpaceUsed"};
inline const ustring kProblem_DeviceRGBColourSpaceUsed{"DeviceRGBColourSpaceUsed"};
inline const ustring kProblem_DoesNotMatchStandard{"DoesNotMatchStandard"};
inline const ustring kProblem_DoublePageSpread{"DoublePageSpread"};
inline const ustring kProblem_DropShadowTransparencyAppliedToObject{"DropShadowTransparencyAppliedToObject"};
inline const ustring kProblem_EmbeddedFiles{"EmbeddedFiles"};
inline const ustring kProblem_EmbeddedPostScript{"EmbeddedPostScript"};
inline const ustring kProblem_EmptyBleedArea{"EmptyBleedArea"};
inline const ustring kProblem_EmptyCreator{"EmptyCreator"};
inline const ustring kProblem_EmptyProducer{"EmptyProducer"};
inline const ustring kProblem_FeatherTransparencyAppliedToObject{"FeatherTransparencyAppliedToObject"};
inline const ustring kProblem_FixesRequired{"FixesRequired"};
inline const ustring kProblem_FloatLR{"FloatLR"};
inline const ustring kProblem_FloatTB{"FloatTB"};
inline const ustring kProblem_FontAddedForPrinterMarks{"FontAddedForPrinterMarks"};
inline const ustring kProblem_FontNotEmbedded{"FontNotEmbedded"};
inline const ustring kProblem_FontNotSubset{"FontNotSubset"};
inline const ustring kProblem_FontStatusFauxed{"FontStatusFauxed"};
inline const ustring kProblem_FontStatusNotAvailable{"FontStatusNotAvailable"};
inline const ustring kProblem_FontStatusSubstituted{"FontStatusSubstituted"};
inline const ustring kProblem_FontSubset{"FontSubset"};
inline const ustring kProblem_FontWidthsArrayNotInSync{"FontWidthsArrayNotInSync"};
inline const ustring kProblem_FormFields{"FormFields"};
inline const ustring kProblem_GWG2005InvalidAnnotations{"GWG2005InvalidAnnotations"};
inline const ustring kProblem_GreyTextOverprint{"GreyTextOverprint"};
inline const ustring kProblem_GreyVectorOverprint{"GreyVectorOverprint"};
inline const ustring kProblem_Hairline{"Hairline"};
inline const ustring kProblem_HalftonePhaseSet{"HalftonePhaseSet"};
inline const ustring kProblem_HasUnequalPageSizes{"HasUnequalPageSizes"};
inline const ustring kProblem_ICCBasedCMYKImage{"ICCBasedCMYKImage"};
inline const ustring kProblem_ICCBasedCMYKVector{"ICCBasedCMYKVector"};
inline const ustring kProblem_ICCBasedGrayUsed{"ICCBasedGrayUsed"};
inline const ustring kProblem_ICCBasedRGBUsed{"ICCBasedRGBUsed"};
inline const ustring kProblem_IllegalFilename{"IllegalFilename"};
inline const ustring kProblem_ImageCMYK16Bits{"ImageCMYK16Bits"};
inline const ustring kProblem_ImageColorNotSpotAs{"ImageColorNotSpotAs"};
inline const ustring kProblem_ImageGray16Bits{"ImageGray16Bits"};
inline const ustring kProblem_ImageGrayOverprint{"ImageGrayOverprint"};
inline const ustring kProblem_ImageJPEGEncoded{"ImageJPEGEncoded"};
inline const ustring kProblem_ImageLABLowBits{"ImageLABLowBits"};
inline const ustring kProblem_ImageNonPropScaled{"ImageNonPropScaled"};
inline const ustring kProblem_ImageNotJPEGEncoded{"ImageNotJPEGEncoded"};
inline const ustring kProblem_ImageRotated{"ImageRotated"};
inline const ustring kProblem_ImageSkewed{"ImageSkewed"};
inline const ustring kProblem_ImageWithMask{"ImageWithMask"};
inline const ustring kProblem_IncorrectBleedBox{"IncorrectBleedBox"};
inline const ustring kProblem_IncorrectTrimBox{"IncorrectTrimBox"};
inline const ustring kProblem_IndexedColourSpaceUsed{"IndexedColourSpaceUsed"};
inline const ustring kProblem_InkWeightShadow{"InkWeightShadow"};
inline const ustring kProblem_InkWeightTAC{"InkWeightTAC"};
inline const ustring kProblem_InvalidXMP{"InvalidXMP"};
inline const ustring kProblem_JavaScripts{"JavaScripts"};
inline const ustring kProblem_JobEnlargedH{"JobEnlargedH"};
inline const ustring kProblem_JobEnlargedV{"JobEnlargedV"};
inline const ustring kProblem_JobReducedH{"JobReducedH"};
inline const ustring kProblem_JobReducedV{"JobReducedV"};
inline const ustring kProblem_LabColourSpaceUsed{"LabColourSpaceUsed"};
inline const ustring kProblem_LayersInPDF{"LayersInPDF"};
inline const ustring kProblem_LightTextOverprint{"LightTextOverprint"};
inline const ustring kProblem_LightVectorOverprint{"LightVectorOverprint"};
inline const ustring kProblem_LocalOutputProfileCorrupt{"LocalOutputProfileCorrupt"};
inline const ustring kProblem_LocalOutputProfileNotFound{"LocalOutputProfileNotFound"};
inline const ustring kProblem_LogFileCreated{"LogFileCreated"};
inline const ustring kProblem_LowInkComposite{"LowInkComposite"};
inline const ustring kProblem_LowInkEachPlate{"LowInkEachPlate"};
inline const ustring kProblem_MMType1FontUsed{"MMType1FontUsed"};
inline const ustring kProblem_MatchesStandard{"MatchesStandard"};
inline const ustring kProblem_MaxBlackOnText{"MaxBlackOnText"};
inline const ustring kProblem_MaxBlackOnVector{"MaxBlackOnVector"};
inline const ustring kProblem_MaxFlatness{"MaxFlatness"};
inline const ustring kProblem_MaxNonBlackPlates{"MaxNonBlackPlates"};
inline const ustring kProblem_MaxPlates{"MaxPlates"};
inline const ustring kProblem_MaxSpotsUsed{"MaxSpotsUsed"};
inline const ustring kProblem_MediaLargerThanRequired{"MediaLargerThanRequired"};
inline const ustring kProblem_MediaSmallerThanRequired{"MediaSmallerThanRequired"};
inline const ustring kProblem_MediaTooSmall{"MediaTooSmall"};
inline const ustring kProblem_MetaDataDetected{"MetaDataDetected"};
inline const ustring kProblem_MinFlatness{"MinFlatness"};
inline const ustring kProblem_MinNonBlackPlates{"MinNonBlackPlates"};
inline const ustring kProblem_MinPlates{"MinPlates"};
inline const ustring kProblem_MinSpotsUsed{"MinSpotsUsed"};
inline const ustring kProblem_MinTextSizeFor1PlateKnockout{"MinTextSizeFor1PlateKnockout"};
inline const ustring kProblem_MinTextSizeFor2PlateKnockout{"MinTextSizeFor2PlateKnockout"};
inline const ustring kProblem_MinTextSizeForWhiteKnockout{"MinTextSizeForWhiteKnockout"};
inline const ustring kProblem_MissingBleedBox{"MissingBleedBox"};
inline const ustring kProblem_MissingPSFontError{"MissingPSFontError"};
inline const ustring kProblem_MissingTrailerID{"MissingTrailerID"};
inline const ustring kProblem_MissingTrimBox{"MissingTrimBox"};
inline const ustring kProblem_MonitorCalibration{"MonitorCalibration"};
inline const ustring kProblem_NChannelDeviceNColourSpaceUsed{"NChannelDeviceNColourSpaceUsed"};
inline const ustring kProblem_NeedsSoftProof{"NeedsSoftProof"};
inline const ustring kProblem_NoDestination{"NoDestination"};
inline const ustring kProblem_NoFontsOrVectorUsed{"NoFontsOrVectorUsed"};
inline const ustring kProblem_NoPDFCreated{"NoPDFCreated"};
inline const ustring kProblem_NoWorries{"NoWorries"};
inline const ustring kProblem_NonStandardTransparencyEffectAppliedToObject{"NonStandardTransparencyEffectAppliedToObject"};
inline const ustring kProblem_NonSubsettedCIDFontUsed{"NonSubsettedCIDFontUsed"};
inline const ustring kProblem_OPIDetected{"OPIDetected"};
inline const ustring kProblem_ObjectLevelCompression{"ObjectLevelCompression"};
inline const ustring kProblem_ObjectsOffPage{"ObjectsOffPage"};
inline const ustring kProblem_OpacityTransparencyAppliedToObject{"OpacityTransparencyAppliedToObject"};
inline const ustring kProblem_OpenTypeCFFFontUsedInLayout{"OpenTypeCFFFontUsedInLayout"};
inline const ustring kProblem_OpenTypeCIDFontUsedInLayout{"OpenTypeCIDFontUsedInLayout"};
inline const ustring kProblem_OpenTypeFontUsed{"OpenTypeFontUsed"};
inline const ustring kProblem_OpenTypeTrueTypeFontUsedInLayout{"OpenTypeTrueTypeFontUsedInLayout"};
inline const ustring kProblem_OrvaneDisclaimer{"OrvaneDisclaimer"};
inline const ustring kProblem_OutOfPrintArea{"OutOfPrintArea"};
inline const ustring kProblem_OverprintModeSetToOne{"OverprintModeSetToOne"};
inline const ustring kProblem_OverprintModeSetToZero{"OverprintModeSetToZero"};
inline const ustring kProblem_PDFCreationDateAbsent{"PDFCreationDateAbsent"};
inline const ustring kProblem_PDFFileSize{"PDFFileSize"};
inline const ustring kProblem_PDFForICCHasEncrypedComments{"PDFForICCHasEncrypedComments"};
inline const ustring kProblem_PDFHasSecurity{"PDFHasSecurity"};
inline const ustring kProblem_PDFLibFailed{"PDFLibFailed"};
inline const ustring kProblem_PDFLibRequiredPassword{"PDFLibRequiredPassword"};
inline const ustring kProblem_PDFModificationDateAbsent{"PDFModificationDateAbsent"};
inline const ustring kProblem_PDFMultiPage{"PDFMultiPage"};
inline const ustring kProblem_PDFNotTrapped{"PDFNotTrapped"};
inline const ustring kProblem_PDFRotated{"PDFRotated"};
inline const ustring kProblem_PDFTitleAbsent{"PDFTitleAbsent"};
inline const ustring kProblem_PDFTrapped{"PDFTrapped"};
inline const ustring kProblem_PDFTrappingDefined{"PDFTrappingDefined"};
inline const ustring kProblem_PDFTrappingNotDefined{"PDFTrappingNotDefined"};
inline const ustring kProblem_PDFVersionTooHigh{"PDFVersionTooHigh"};
inline const ustring kProblem_PDFVersionTooLow{"PDFVersionTooLow"};
inline const ustring kProblem_PDFWriter{"PDFWriter"};
inline const ustring kProblem_PDFXOutputIntentDoesNotMatchCustomProfile{"PDFXOutputIntentDoesNotMatchCustomProfile"};
inline const ustring kProblem_PDFXOutputIntentIsNotICCBased{"PDFXOutputIntentIsNotICCBased"};
inline const ustring kProblem_PDFXOutputIntentIsNotSpecified{"PDFXOutputIntentIsNotSpecified"};
inline const ustring kProblem_PDFXOutputIntentIsSpecified{"PDFXOutputIntentIsSpecified"};
inline const ustring kProblem_PDFXOutputIntentNotRecommendedICCProfile{"PDFXOutputIntentNotRecommendedICCProfile"};
inline const ustring kProblem_PDFXVersionKeyDoesNotMatch{"PDFXVersionKeyDoesNotMatch"};
inline const ustring kProblem_PDFXVersionKeyMatches{"PDFXVersionKeyMatches"};
inline const ustring kProblem_PageScalingSpecified{"PageScalingSpecified"};
inline const ustring kProblem_PatternColourSpaceUsed{"PatternColourSpaceUsed"};
inline const ustring kProblem_PlacedCMYKGraphicDoesNotHaveAProfile{"PlacedCMYKGraphicDoesNotHaveAProfile"};
inline const ustring kProblem_PlacedCMYKGraphicProfileDoesNotMatchCustom{"PlacedCMYKGraphicProfileDoesNotMatchCustom"};
inline const ustring kProblem_PlacedCMYKGraphicProfileMatchesCustom{"PlacedCMYKGraphicProfileMatchesCustom"};
inline const ustring kProblem_PlacedCMYKPhotoshopEPSDoesNotHavePSCM{"PlacedCMYKPhotoshopEPSDoesNotHavePSCM"};
inline const ustring kProblem_PlacedCMYKPhotoshopEPSHasPSCM{"PlacedCMYKPhotoshopEPSHasPSCM"};
inline const ustring kProblem_PlacedGraphicContainsSpots{"PlacedGraphicContainsSpots"};
inline const ustring kProblem_PlacedGraphicFormatIsUnsupported{"PlacedGraphicFormatIsUnsupported"};
inline const ustring kProblem_PlacedGraphicHasOveriddenProfile{"PlacedGraphicHasOveriddenProfile"};
inline const ustring kProblem_PlacedGraphicIsBMPFormat{"PlacedGraphicIsBMPFormat"};
inline const ustring kProblem_PlacedGraphicIsCMYK{"PlacedGraphicIsCMYK"};
inline const ustring kProblem_PlacedGraphicIsDCS1Format{"PlacedGraphicIsDCS1Format"};
inline const ustring kProblem_PlacedGraphicIsDCS2MultiFormat{"PlacedGraphicIsDCS2MultiFormat"};
inline const ustring kProblem_PlacedGraphicIsDCS2SingleFormat{"PlacedGraphicIsDCS2SingleFormat"};
inline const ustring kProblem_PlacedGraphicIsGenericEPSFormat{"PlacedGraphicIsGenericEPSFormat"};
inline const ustring kProblem_PlacedGraphicIsGenericPDFFormat{"PlacedGraphicIsGenericPDFFormat"};
inline const ustring kProblem_PlacedGraphicIsGrayscale{"PlacedGraphicIsGrayscale"};
inline const ustring kProblem_PlacedGraphicIsJPEGCompressed{"PlacedGraphicIsJPEGCompressed"};
inline const ustring kProblem_PlacedGraphicIsJPEGFormat{"PlacedGraphicIsJPEGFormat"};
inline const ustring kProblem_PlacedGraphicIsLab{"PlacedGraphicIsLab"};
inline const ustring kProblem_PlacedGraphicIsPhotoshopEPSFormat{"PlacedGraphicIsPhotoshopEPSFormat"};
inline const ustring kProblem_PlacedGraphicIsPhotoshopNativeFormat{"PlacedGraphicIsPhotoshopNativeFormat"};
inline const ustring kProblem_PlacedGraphicIsRGB{"PlacedGraphicIsRGB"};
inline const ustring kProblem_PlacedGraphicIsTIFFFormat{"PlacedGraphicIsTIFFFormat"};
inline const ustring kProblem_PlacedGraphicMissing{"PlacedGraphicMissing"};
inline const ustring kProblem_PlacedGrayPhotoshopEPSDoesNotHavePSCM{"PlacedGrayPhotoshopEPSDoesNotHavePSCM"};
inline const ustring kProblem_PlacedGrayPhotoshopEPSHasPSCM{"PlacedGrayPhotoshopEPSHasPSCM"};
inline const ustring kProblem_PlacedGrayscaleGraphicDoesNotHaveAProfile{"PlacedGrayscaleGraphicDoesNotHaveAProfile"};
inline const ustring kProblem_PlacedImageResTooHighBitmap{"PlacedImageResTooHighBitmap"};
inline const ustring kProblem_PlacedImageResTooHighContone{"PlacedImageResTooHighContone"};
inline const ustring kProblem_PlacedImageResTooLowBitmap{"PlacedImageResTooLowBitmap"};
inline const ustring kProblem_PlacedImageResTooLowContone{"PlacedImageResTooLowContone"};
inline const ustring kProblem_PlacedPDFHasTransparentElements{"PlacedPDFHasTransparentElements"};
inline const ustring kProblem_PlacedRGBGraphicDoesNotHaveAProfile{"PlacedRGBGraphicDoesNotHaveAProfile"};
inline const ustring kProblem_PlacedRGBPhotoshopEPSDoesNotHavePSCM{"PlacedRGBPhotoshopEPSDoesNotHavePSCM"};
inline const ustring kProblem_PlacedRGBPhotoshopEPSHasPSCM{"PlacedRGBPhotoshopEPSHasPSCM"};
inline const ustring kProblem_PreReleaseWarning{"PreReleaseWarning"};
inline const ustring kProblem_PreSeparatedPages{"PreSeparatedPages"};
inline const ustring kProblem_PrinterMarksDetected{"PrinterMarksDetected"};
inline const ustring kProblem_PrinterMarksNotSet{"PrinterMarksNotSet"};
inline const ustring kProblem_PrintingAlternates{"PrintingAlternates"};
inline const ustring kProblem_PrintoutSuppressed{"PrintoutSuppressed"};
inline const ustring kProblem_ProductionDatePassedDEFUNCT{"ProductionDatePassedDEFUNCT"};
inline const ustring kProblem_ProfileNotSpecified{"ProfileNotSpecified"};
inline const ustring kProblem_ProfileNotSuitableForProofing{"ProfileNotSuitableForProofing"};
inline const ustring kProblem_ProfileSuitableForProofing{"ProfileSuitableForProofing"};
inline const ustring kProblem_ReferenceXObjects{"ReferenceXObjects"};
inline const ustring kProblem_RegistrationUsed{"RegistrationUsed"};
inline const ustring kProblem_RenderingIntentPresent{"RenderingIntentPresent"};
inline const ustring kProblem_ResTooHighBitmap{"ResTooHighBitmap"};
inline const ustring kProblem_ResTooHighContone{"ResTooHighContone"};
inline const ustring kProblem_ResTooLowBitmap{"ResTooLowBitmap"};
inline const ustring kProblem_ResTooLowContone{"ResTooLowContone"};
inline const ustring kProblem_ResTooLowImageSizeLimit{"ResTooLowImageSizeLimit"};
inline const ustring kProblem_RichBlackDetected{"RichBlackDetected"};
inline const ustring kProblem_RunDatePassed{"RunDatePassed"};
inline const ustring kProblem_ScreenedLineTooSmall{"ScreenedLineTooSmall"};
inline const ustring kProblem_ScreenedTextTooSmall{"ScreenedTextTooSmall"};
inline const ustring kProblem_SeparatedLineTooSmall{"SeparatedLineTooSmall"};
inline const ustring kProblem_SeparatedTextTooSmall{"SeparatedTextTooSmall"};
inline const ustring kProblem_SeparationImagesCustom{"SeparationImagesCustom"};
inline const ustring kProblem_ShadingUsed{"ShadingUsed"};
inline const ustring kProblem_SilentProfileCorrupt{"SilentProfileCorrupt"};
inline const ustring kProblem_SilentProfileNotFound{"SilentProfileNotFound"};
inline const ustring kProblem_SoftMaskUsedOnImage{"SoftMaskUsedOnImage"};
inline const ustring kProblem_SolidLineTooSmall{"SolidLineTooSmall"};
inline const ustring kProblem_SolidTextTooSmall{"SolidTextTooSmall"};
inline const ustring kProblem_SpotAlternateNotDevice{"SpotAlternateNotDevice"};
inline const ustring kProblem_SpotNoneUsed{"SpotNoneUsed"};
inline const ustring kProblem_SpotWithSameAlternateDiffName{"SpotWithSameAlternateDiffName"};
inline const ustring kProblem_SpotWithSameNameDiffAlternate{"SpotWithSameNameDiffAlternate"};
inline const ustring kProblem_StreamsReferringToExternalFiles{"StreamsReferringToExternalFiles"};
inline const ustring kProblem_StrokedText{"StrokedText"};
inline const ustring kProblem_TACCouldntRenderPage{"TACCouldntRenderPage"};
inline const ustring kProblem_TTFontLicensingError{"TTFontLicensingError"};
inline const ustring kProblem_TextBoxOverflowed{"TextBoxOverflowed"};
inline const ustring kProblem_TextInkWeight{"TextInkWeight"};
inline const ustring kProblem_TextNonPropScaled{"TextNonPropScaled"};
inline const ustring kProblem_TextUseUndefinedGlyph{"TextUseUndefinedGlyph"};
inline const ustring kProblem_TooManyImages{"TooManyImages"};
inline const ustring kProblem_TooManyPointsOnPath{"TooManyPointsOnPath"};
inline const ustring kProblem_Transparency{"Transparency"};
inline const ustring kProblem_TransparencyAppliedToObject{"TransparencyAppliedToObject"};
inline const ustring kProblem_TransparencyAppliedToTextFrame{"TransparencyAppliedToTextFrame"};
inline const ustring kProblem_TransparencyBlendSpaceSetToCMYK{"TransparencyBlendSpaceSetToCMYK"};
inline const ustring kProblem_TransparencyBlendSpaceSetToRGB{"TransparencyBlendSpaceSetToRGB"};
inline const ustring kProblem_TransparencyFlattenerWillCauseTextToBeConvertedToOutlines{"TransparencyFlattenerWillCauseTextToBeConvertedToOutlines"};
inline const ustring kProblem_TransparencyOnPageButIsDisabledOnPage{"TransparencyOnPageButIsDisabledOnPage"};
inline const ustring kProblem_TransparencyOnPageFlattenedUsingGlobalFlattener{"TransparencyOnPageFlattenedUsingGlobalFlattener"};
inline const ustring kProblem_TransparencyOnPageFlattenedUsingSpreadFlattener{"TransparencyOnPageFlattenedUsingSpreadFlattener"};
inline const ustring kProblem_TransparentObjectsOverlapTextFrame{"TransparentObjectsOverlapTextFrame"};
inline const ustring kProblem_TrimBoxDetected{"TrimBoxDetected"};
inline const ustring kProblem_TrueTypeFontUsed{"TrueTypeFontUsed"};
inline const ustring kProblem_TrueTypeFontUsedInLayout{"TrueTypeFontUsedInLayout"};
inline const ustring kProblem_Type1FontUsed{"Type1FontUsed"};
inline const ustring kProblem_Type1FontUsedInLayout{"Type1FontUsedInLayout"};
inline const ustring kProblem_Type3BitmapFontUsed{"Type3BitmapFontUsed"};
inline const ustring kProblem_Type3FontUsed{"Type3FontUsed"};
inline const ustring kProblem_TypeAreaSpecified{"TypeAreaSpecified"};
inline const ustring kProblem_TypeAreaWarning{"TypeAreaWarning"};
inline const ustring kProblem_UnderColourRemovalSet{"UnderColourRemovalSet"};
inline const ustring kProblem_UnexpectedBleedWarning{"UnexpectedBleedWarning"};
inline const ustring kProblem_UnknownFontTypeUsed{"UnknownFontTypeUsed"};
inline const ustring kProblem_UnknownFontTypeUsedInLayout{"UnknownFontTypeUsedInLayout"};
inline const ustring kProblem_UnknownObjects{"UnknownObjects"};
inline const ustring kProblem_UsesRGBBlendingColourspace{"UsesRGBBlendingColourspace"};
inline const ustring kProblem_ViewerPreferences{"ViewerPreferences"};
inline const ustring kProblem_WhiteTextOverprint{"WhiteTextOverprint"};
inline const ustring kProblem_WhiteVectorOverprint{"WhiteVectorOverprint"};
inline const ustring kProblem_WorkingSpaceProfileCorrupt{"WorkingSpaceProfileCorrupt"};
inline const ustring kProblem_WorkingSpaceProfileNotFound{"WorkingSpaceProfileNotFound"};
inline const ustring kProblem_WrongPluginVersion{"WrongPluginVersion"};
inline const ustring kProblem_ZTImageExpiredError{"ZTImageExpiredError"};
inline const ustring kProblem_ZentrimICCMustBeUsedToHardProof{"ZentrimICCMustBeUsedToHardProof"};
inline const ustring kProblem_ZentrimICCMustBeUsedToHardProofVerified{"ZentrimICCMustBeUsedToHardProofVerified"};
inline const ustring kProblem_ZentrimICCMustBeUsedToProof{"ZentrimICCMustBeUsedToProof"};

inline constexpr std::array<std::string_view, 23> kSettingNames = {
    "Setting_BitmapDownsample",
    "Setting_ContoneDownsample",
    "Setting_ControlStrip",
    "Setting_ConversionOfPureVectorColors",
    "Setting_ConversionRenderingIntent",
    "Setting_DownsampleMethodBitmap",
    "Setting_DownsampleMethodContone",
    "Setting_GrayscaleProfile",
    "Setting_LayoutColorMismatchPolicy",
    "Setting_LayoutColorSpacePolicy",
    "Setting_LocalOutputProfiles",
    "Setting_MaxScalingAllowed",
    "Setting_MinimumBleed",
    "Setting_OptimumBleed",
    "Setting_OverrideDestinationProfiles",
    "Setting_PDFVersion",
    "Setting_PDFXVersion",
    "Setting_PrinterMarks",
    "Setting_ProcessProfile",
    "Setting_Standard",
    "Setting_TACSampleSize",
    "Setting_TrimSize",
    "Setting_WorkingSpaceProfiles",
};

inline constexpr std::array<std::string_view, 300> kProblemNames = {
    "Actions",
    "AlternatePresentations",
    "AmbiguousSpotName",
    "Annotations",
    "ArtBoxDetected",
    "Base14FontNotEmbedded",
    "BitmapFontUsedInLayout",
    "BlackGenerationSet",
    "BlackNotUsed",
    "BlackTextKnockout",
    "BlackUsed",
    "BlackVectorKnockout",
    "BleedBoxDetected",
    "BlendModeTransparencyAppliedToObject",
    "CIDFontUsedInLayout",
    "CIDType0FontUsed",
    "CIDType2FontUsed",
    "CMYKBlackUsedInGrayscale",
    "CalGrayColourSpaceUsed",
    "CalRGBColourSpaceUsed",
    "CanSendIncompleteDetails",
    "CanSendNoDestination",
    "CheckPrinterMarksWarning",
    "ColorNotSpotAs",
    "ColourNotUsed",
    "ColourUsed",
    "CompressedMetaDataDetected",
    "ContainsASCIICompression",
    "ContainsEmptyPages",
    "ContainsJBIG2Compression",
    "ContainsJPEG2000Compression",
    "ContainsLZWCompression",
    "ContainsRawStreams",
    "CourierUsed",
    "CropBoxDetected",
    "CropBoxIncorrect",
    "CustomProfileSpecified",
    "CustomScreen",
    "CustomTransfer",
    "DCSGraphicHasMissingPlates",
    "DCSGraphicInNonDCS",
    "DCSGraphicInPDF",
    "DestinationProfileCorrupt",
    "DestinationProfileNotFound",
    "DestinationSettingsConflict",
    "DeviceCMYKImageWithNoOutputIntent",
    "DeviceCMYKUsedInGrayscale",
    "DeviceCMYKVectorWithNoOutputIntent",
    "DeviceGrayUsedInCMYKJobs",
    "DeviceGrayWithNoOutputIntent",
    "DeviceNColourSpaceUsed",
    "DeviceRGBColourSpaceUsed",
    "DoesNotMatchStandard",
    "DoublePageSpread",
    "DropShadowTransparencyAppliedToObject",
    "EmbeddedFiles",
    "EmbeddedPostScript",
    "EmptyBleedArea",
    "EmptyCreator",
    "EmptyProducer",
    "FeatherTransparencyAppliedToObject",
    "FixesRequired",
    "FloatLR",
    "FloatTB",
    "FontAddedForPrinterMarks",
    "FontNotEmbedded",
    "FontNotSubset",
    "FontStatusFauxed",
    "FontStatusNotAvailable",
    "FontStatusSubstituted",
    "FontSubset",
    "FontWidthsArrayNotInSync",
    "FormFields",
    "GWG2005InvalidAnnotations",
    "GreyTextOverprint",
    "GreyVectorOverprint",
    "Hairline",
    "HalftonePhaseSet",
    "HasUnequalPageSizes",
    "ICCBasedCMYKImage",
    "ICCBasedCMYKVector",
    "ICCBasedGrayUsed",
    "ICCBasedRGBUsed",
    "IllegalFilename",
    "ImageCMYK16Bits",
    "ImageColorNotSpotAs",
    "ImageGray16Bits",
    "ImageGrayOverprint",
    "ImageJPEGEncoded",
    "ImageLABLowBits",
    "ImageNonPropScaled",
    "ImageNotJPEGEncoded",
    "ImageRotated",
    "ImageSkewed",
    "ImageWithMask",
    "IncorrectBleedBox",
    "IncorrectTrimBox",
    "IndexedColourSpaceUsed",
    "InkWeightShadow",
    "InkWeightTAC",
    "InvalidXMP",
    "JavaScripts",
    "JobEnlargedH",
    "JobEnlargedV",
    "JobReducedH",
    "JobReducedV",
    "LabColourSpaceUsed",
    "LayersInPDF",
    "LightTextOverprint",
    "LightVectorOverprint",
    "LocalOutputProfileCorrupt",
    "LocalOutputProfileNotFound",
    "LogFileCreated",
    "LowInkComposite",
    "LowInkEachPlate",
    "MMType1FontUsed",
    "MatchesStandard",
    "MaxBlackOnText",
    "MaxBlackOnVector",
    "MaxFlatness",
    "MaxNonBlackPlates",
    "MaxPlates",
    "MaxSpotsUsed",
    "MediaLargerThanRequired",
    "MediaSmallerThanRequired",
    "MediaTooSmall",
    "MetaDataDetected",
    "MinFlatness",
    "MinNonBlackPlates",
    "MinPlates",
    "MinSpotsUsed",
    "MinTextSizeFor1PlateKnockout",
    "MinTextSizeFor2PlateKnockout",
    "MinTextSizeForWhiteKnockout",
    "MissingBleedBox",
    "MissingPSFontError",
    "MissingTrailerID",
    "MissingTrimBox",
    "MonitorCalibration",
    "NChannelDeviceNColourSpaceUsed",
    "NeedsSoftProof",
    "NoDestination",
    "NoFontsOrVectorUsed",
    "NoPDFCreated",
    "NoWorries",
    "NonStandardTransparencyEffectAppliedToObject",
    "NonSubsettedCIDFontUsed",
    "OPIDetected",
    "ObjectLevelCompression",
    "ObjectsOffPage",
    "OpacityTransparencyAppliedToObject",
    "OpenTypeCFFFontUsedInLayout",
    "OpenTypeCIDFontUsedInLayout",
    "OpenTypeFontUsed",
    "OpenTypeTrueTypeFontUsedInLayout",
    "OrvaneDisclaimer",
    "OutOfPrintArea",
    "OverprintModeSetToOne",
    "OverprintModeSetToZero",
    "PDFCreationDateAbsent",
    "PDFFileSize",
    "PDFForICCHasEncrypedComments",
    "PDFHasSecurity",
    "PDFLibFailed",
    "PDFLibRequiredPassword",
    "PDFModificationDateAbsent",
    "PDFMultiPage",
    "PDFNotTrapped",
    "PDFRotated",
    "PDFTitleAbsent",
    "PDFTrapped",
    "PDFTrappingDefined",
    "PDFTrappingNotDefined",
    "PDFVersionTooHigh",
    "PDFVersionTooLow",
    "PDFWriter",
    "PDFXOutputIntentDoesNotMatchCustomProfile",
    "PDFXOutputIntentIsNotICCBased",
    "PDFXOutputIntentIsNotSpecified",
    "PDFXOutputIntentIsSpecified",
    "PDFXOutputIntentNotRecommendedICCProfile",
    "PDFXVersionKeyDoesNotMatch",
    "PDFXVersionKeyMatches",
    "PageScalingSpecified",
    "PatternColourSpaceUsed",
    "PlacedCMYKGraphicDoesNotHaveAProfile",
    "PlacedCMYKGraphicProfileDoesNotMatchCustom",
    "PlacedCMYKGraphicProfileMatchesCustom",
    "PlacedCMYKPhotoshopEPSDoesNotHavePSCM",
    "PlacedCMYKPhotoshopEPSHasPSCM",
    "PlacedGraphicContainsSpots",
    "PlacedGraphicFormatIsUnsupported",
    "PlacedGraphicHasOveriddenProfile",
    "PlacedGraphicIsBMPFormat",
    "PlacedGraphicIsCMYK",
    "PlacedGraphicIsDCS1Format",
    "PlacedGraphicIsDCS2MultiFormat",
    "PlacedGraphicIsDCS2SingleFormat",
    "PlacedGraphicIsGenericEPSFormat",
    "PlacedGraphicIsGenericPDFFormat",
    "PlacedGraphicIsGrayscale",
    "PlacedGraphicIsJPEGCompressed",
    "PlacedGraphicIsJPEGFormat",
    "PlacedGraphicIsLab",
    "PlacedGraphicIsPhotoshopEPSFormat",
    "PlacedGraphicIsPhotoshopNativeFormat",
    "PlacedGraphicIsRGB",
    "PlacedGraphicIsTIFFFormat",
    "PlacedGraphicMissing",
    "PlacedGrayPhotoshopEPSDoesNotHavePSCM",
    "PlacedGrayPhotoshopEPSHasPSCM",
    "PlacedGrayscaleGraphicDoesNotHaveAProfile",
    "PlacedImageResTooHighBitmap",
    "PlacedImageResTooHighContone",
    "PlacedImageResTooLowBitmap",
    "PlacedImageResTooLowContone",
    "PlacedPDFHasTransparentElements",
    "PlacedRGBGraphicDoesNotHaveAProfile",
    "PlacedRGBPhotoshopEPSDoesNotHavePSCM",
    "PlacedRGBPhotoshopEPSHasPSCM",
    "PreReleaseWarning",
    "PreSeparatedPages",
    "PrinterMarksDetected",
    "PrinterMarksNotSet",
    "PrintingAlternates",
    "PrintoutSuppressed",
    "ProductionDatePassedDEFUNCT",
    "ProfileNotSpecified",
    "ProfileNotSuitableForProofing",
    "ProfileSuitableForProofing",
    "ReferenceXObjects",
    "RegistrationUsed",
    "RenderingIntentPresent",
    "ResTooHighBitmap",
    "ResTooHighContone",
    "ResTooLowBitmap",
    "ResTooLowContone",
    "ResTooLowImageSizeLimit",
    "RichBlackDetected",
    "RunDatePassed",
    "ScreenedLineTooSmall",
    "ScreenedTextTooSmall",
    "SeparatedLineTooSmall",
    "SeparatedTextTooSmall",
    "SeparationImagesCustom",
    "ShadingUsed",
    "SilentProfileCorrupt",
    "SilentProfileNotFound",
    "SoftMaskUsedOnImage",
    "SolidLineTooSmall",
    "SolidTextTooSmall",
    "SpotAlternateNotDevice",
    "SpotNoneUsed",
    "SpotWithSameAlternateDiffName",
    "SpotWithSameNameDiffAlternate",
    "StreamsReferringToExternalFiles",
    "StrokedText",
    "TACCouldntRenderPage",
    "TTFontLicensingError",
    "TextBoxOverflowed",
    "TextInkWeight",
    "TextNonPropScaled",
    "TextUseUndefinedGlyph",
    "TooManyImages",
    "TooManyPointsOnPath",
    "Transparency",
    "TransparencyAppliedToObject",
    "TransparencyAppliedToTextFrame",
    "TransparencyBlendSpaceSetToCMYK",
    "TransparencyBlendSpaceSetToRGB",
    "TransparencyFlattenerWillCauseTextToBeConvertedToOutlines",
    "TransparencyOnPageButIsDisabledOnPage",
    "TransparencyOnPageFlattenedUsingGlobalFlattener",
    "TransparencyOnPageFlattenedUsingSpreadFlattener",
    "TransparentObjectsOverlapTextFrame",
    "TrimBoxDetected",
    "TrueTypeFontUsed",
    "TrueTypeFontUsedInLayout",
    "Type1FontUsed",
    "Type1FontUsedInLayout",
    "Type3BitmapFontUsed",
    "Type3FontUsed",
    "TypeAreaSpecified",
    "TypeAreaWarning",
    "UnderColourRemovalSet",
    "UnexpectedBleedWarning",
    "UnknownFontTypeUsed",
    "UnknownFontTypeUsedInLayout",
    "UnknownObjects",
    "UsesRGBBlendingColourspace",
    "ViewerPreferences",
    "WhiteTextOverprint",
    "WhiteVectorOverprint",
    "WorkingSpaceProfileCorrupt",
    "WorkingSpaceProfileNotFound",
    "WrongPluginVersion",
    "ZTImageExpiredError",
    "ZentrimICCMustBeUsedToHardProof",
    "ZentrimICCMustBeUsedToHardProofVerified",
    "ZentrimICCMustBeUsedToProof",
};

}  // namespace problem_names
